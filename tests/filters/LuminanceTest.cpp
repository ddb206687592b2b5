// The luminances and chrominances that the brightness filters make in whole
// numbers, against the rule in doubles for every colour there is: the rule
// with the weights and coefficients as written, products added in order,
// truncated (luminance) or rounded half away from zero (Cr, Cb).
#include <gtest/gtest.h>

#include <vector>

#include "filters/Luminance.h"
#include "support/Fixture.h"

namespace qvx::test {
namespace {

// Sanitized code runs many times slower: every seventh red level there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRedStep = 7;
#else
constexpr int kRedStep = 1;
#endif

int RuleLuminance(int r, int g, int b) {
  return static_cast<int>(r * 0.298912 + g * 0.586611 + b * 0.114478);
}
int Rounded(double v) { return static_cast<int>(v < 0 ? v - 0.5 : v + 0.5); }
int RuleCr(int r, int g, int b) { return Rounded(r * 0.5 + g * -0.41869 + b * -0.08131); }
int RuleCb(int r, int g, int b) { return Rounded(r * -0.16874 + g * -0.33126 + b * 0.5); }

// The 256 colours with red r, green g and every blue, in order.
std::vector<Bgra> BlueRamp(int r, int g) {
  std::vector<Bgra> row(256);
  for (int b = 0; b < 256; ++b)
    row[b] = {static_cast<BYTE>(b), static_cast<BYTE>(g), static_cast<BYTE>(r), 0xA5};
  return row;
}

QVX_LOOP_BODY void ChromaRow(int* cr, int* cb, const Bgra* colours, int count, WholeChroma whole) {
  for (int i = 0; i + 8 <= count; i += 8) {
    Int8 r8, b8;
    ChromaLanes(colours + i, whole, r8, b8);
    std::memcpy(cr + i, &r8, sizeof r8);
    std::memcpy(cb + i, &b8, sizeof b8);
  }
}

using LuminanceTest = QvxTest;

TEST_F(LuminanceTest, WholeNumberLuminanceIsTheRuleForEveryColour) {
  WorkBlock tables;
  ASSERT_TRUE(MakeLuminanceTables(tables));
  const LevelTable* w = LuminanceTables(tables);
  // 257 colours a row: the lanes of groups and the last one alone.
  std::vector<BYTE> out(257);
  int checked = 0;
  for (int r = 0; r < 256; r += kRedStep)
    for (int g = 0; g < 256; ++g) {
      std::vector<Bgra> row = BlueRamp(r, g);
      row.push_back(row[(r + g) & 255]);
      Vectorised<LuminanceRow>(out.data(), static_cast<const Bgra*>(row.data()), 257, w[0][1],
                               w[1][1], w[2][1]);
      for (int i = 0; i < 257; ++i) {
        const int b = row[i].blue;
        ASSERT_EQ(out[i], RuleLuminance(r, g, b)) << r << " " << g << " " << b;
        ++checked;
      }
    }
  EXPECT_EQ(checked, 257 * 256 * ((255 / kRedStep) + 1));
}

TEST_F(LuminanceTest, WholeNumberChrominanceIsTheRuleForEveryColour) {
  WorkBlock products, halves;
  ASSERT_TRUE(MakeYccTables(products));
  ASSERT_TRUE(halves.Allocate(sizeof(CrHalves)));
  const ChromaCoefficients coefficients(YccTables(products));
  halves.As<CrHalves>()->Fill(coefficients.c);
  std::vector<int> cr(256), cb(256);
  int halvesOfCr = 0, halvesOfCb = 0;
  for (int r = 0; r < 256; r += kRedStep)
    for (int g = 0; g < 256; ++g) {
      const std::vector<Bgra> row = BlueRamp(r, g);
      Vectorised<ChromaRow>(cr.data(), cb.data(), row.data(), 256,
                            WholeChroma{halves.As<const CrHalves>()});
      for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(cr[b], RuleCr(r, g, b)) << r << " " << g << " " << b;
        ASSERT_EQ(cb[b], RuleCb(r, g, b)) << r << " " << g << " " << b;
        halvesOfCr += g == b && (r - b) % 2 != 0;
        halvesOfCb += r == g && (b - g) % 2 != 0;
      }
    }
  // The colours whose exact Cr or Cb ends in one half were among them.
  EXPECT_GT(halvesOfCr, 1000);
  EXPECT_GT(halvesOfCb, 1000);
  // And groups of eight holding several: green = blue, every red; red =
  // green, every blue.
  for (int v = 0; v < 256; ++v) {
    std::vector<Bgra> greyBlue(256), greyRed(256);
    for (int u = 0; u < 256; ++u) {
      greyBlue[u] = {static_cast<BYTE>(v), static_cast<BYTE>(v), static_cast<BYTE>(u), 0};
      greyRed[u] = {static_cast<BYTE>(u), static_cast<BYTE>(v), static_cast<BYTE>(v), 0};
    }
    for (const std::vector<Bgra>* row : {&greyBlue, &greyRed}) {
      Vectorised<ChromaRow>(cr.data(), cb.data(), row->data(), 256,
                            WholeChroma{halves.As<const CrHalves>()});
      for (int i = 0; i < 256; ++i) {
        const Bgra c = (*row)[i];
        ASSERT_EQ(cr[i], RuleCr(c.red, c.green, c.blue))
            << +c.red << " " << +c.green << " " << +c.blue;
        ASSERT_EQ(cb[i], RuleCb(c.red, c.green, c.blue))
            << +c.red << " " << +c.green << " " << +c.blue;
      }
    }
  }
}

}  // namespace
}  // namespace qvx::test
