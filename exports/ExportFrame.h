// The thin frame every effect export passes through: open the progress
// window unless told not to, copy the caller's records, run the worker,
// close the window, and leave error 0 behind a successful result.
#pragma once

#include <utility>

#include "frame/ErrorCodes.h"
#include "frame/ImageHandles.h"
#include "frame/SelectionArgs.h"
#include "platform/QvxCom.h"

namespace qvx {

struct DialogArgs {
  BOOL noDialog;
  DWORD arg1;
  DWORD arg2;
  DWORD arg3;
};

inline ImageHandles CopyHandles(const ImageHandles* images) {
  return images ? *images : ImageHandles{nullptr, nullptr};
}

inline RECT CopyRect(const RECT* rect) { return rect ? *rect : RECT{0, 0, 0, 0}; }

inline SelectionArgs CopySelection(const ImageHandles* images, BYTE mode, POINT* points,
                                   int pointCount, const RECT* rect, BOOL inside) {
  const ImageHandles handles = CopyHandles(images);
  return SelectionArgs{handles.Picture, handles.Mask, mode, points, pointCount, CopyRect(rect),
                       inside};
}

namespace detail {

// Runs `worker` into `result` between opening and closing the window; false
// (with error 2 set) when the window could not be opened and the worker was
// not run.
template <class Result, class Worker>
bool RunInDialog(const DialogArgs& dialog, Result& result, Worker&& worker) {
  if (!dialog.noDialog && !PercentDlgOpen(dialog.arg1, dialog.arg2, dialog.arg3)) {
    SetErrorStatus(kErrorCannotDo);
    return false;
  }
  result = std::forward<Worker>(worker)();
  if (!dialog.noDialog) PercentDlgClose();
  return true;
}

}  // namespace detail

// An effect that returns one new picture.
template <class Worker>
HGLOBAL RunEffect(const DialogArgs& dialog, Worker&& worker) {
  HGLOBAL result = nullptr;
  if (detail::RunInDialog(dialog, result, std::forward<Worker>(worker)) && result)
    SetErrorStatus(kErrorNone);
  return result;
}

// An effect that returns a picture and its mask by value.
template <class Worker>
ImageHandlesResult RunPairEffect(const DialogArgs& dialog, Worker&& worker) {
  ImageHandles pair{nullptr, nullptr};
  if (detail::RunInDialog(dialog, pair, std::forward<Worker>(worker)) && pair.Picture)
    SetErrorStatus(kErrorNone);
  return PackHandles(pair);
}

// The Ex twin: the pair goes to the caller's record whenever the worker
// ran, and the answer is whether a picture came back. Without a record the
// pair could never be handed back, so a null one is refused with error 5
// before the window opens or any work is done.
template <class Worker>
BOOL RunPairEffectEx(const DialogArgs& dialog, ImageHandles* out, Worker&& worker) {
  if (!out) {
    SetErrorStatus(kErrorBadParameter);
    return FALSE;
  }
  ImageHandles pair{nullptr, nullptr};
  if (!detail::RunInDialog(dialog, pair, std::forward<Worker>(worker))) return FALSE;
  if (pair.Picture) SetErrorStatus(kErrorNone);
  *out = pair;
  return pair.Picture ? TRUE : FALSE;
}

}  // namespace qvx
