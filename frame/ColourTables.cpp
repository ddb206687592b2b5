#include "frame/ColourTables.h"

namespace qvx {
namespace {

bool FillProducts(WorkBlock& tables, const double* coefficients, int count) {
  if (!tables.Allocate(sizeof(LevelTable) * count)) return false;
  LevelTable* t = tables.As<LevelTable>();
  for (int k = 0; k < count; ++k)
    for (int i = 0; i < 256; ++i) t[k][i] = i * coefficients[k];
  return true;
}

}  // namespace

void ConversionTables::FillForward(const LevelTable* t) {
  for (int r = 0; r < 256; ++r)
    for (int g = 0; g < 256; ++g)
      pair[r << 8 | g] = {t[kRedToY][r] + t[kGreenToY][g], t[kRedToCr][r] + t[kGreenToCr][g],
                          t[kRedToCb][r] + t[kGreenToCb][g], 0};
  for (int b = 0; b < 256; ++b) blue[b] = {t[kBlueToY][b], t[kBlueToCr][b], t[kBlueToCb][b], 0};
}

bool MakeLuminanceTables(WorkBlock& tables) {
  static constexpr double kWeights[3] = {0.298912, 0.586611, 0.114478};
  return FillProducts(tables, kWeights, 3);
}

bool MakeLuminancePairs(const LevelTable* weights, WorkBlock& pairs) {
  if (!pairs.Allocate(65536 * sizeof(double))) return false;
  double* sums = pairs.As<double>();
  for (int r = 0; r < 256; ++r)
    for (int g = 0; g < 256; ++g) sums[r << 8 | g] = weights[0][r] + weights[1][g];
  return true;
}

bool MakeYccTables(WorkBlock& tables) {
  static constexpr double kProducts[kYccTableCount] = {0.298912, 0.586611, 0.114478, 0.5, -0.41869,
                                                       -0.08131, -0.16874, -0.33126, 0.5};
  return FillProducts(tables, kProducts, kYccTableCount);
}

}  // namespace qvx
