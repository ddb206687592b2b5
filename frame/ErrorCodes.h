// Codes left in the sibling library's error status. 0 after every successful
// export; otherwise the code of the step that failed.
#pragma once

namespace qvx {

enum ErrorCode : int {
  kErrorNone = 0,
  kErrorCancelled = 1,        // the progress callback answered "cancel"
  kErrorCannotDo = 2,         // window, drawing or effect-specific failure
  kErrorNoMemory = 3,         // GlobalAlloc or GlobalLock failed
  kErrorDepth = 4,            // depth not supported by this path of an effect
  kErrorBadParameter = 5,     // argument out of range, null record, bad selection
  kErrorBadPicture = 7,       // null handle, refused header, mismatched pictures
  kErrorTextNotRendered = 9,  // a mark's text (or a drawing surface) failed
};

}  // namespace qvx
