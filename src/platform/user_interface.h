#pragma once

#include <string>

namespace kolvane::platform {

// Message box types and answers, with the values of the Windows headers.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbYesNo = 0x4;
inline constexpr unsigned kMbIconInformation = 0x40;

inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

// What an installation run needs of the dialog that started it: its progress bar and modal
// message boxes.
class UserInterface {
  public:
    virtual ~UserInterface() = default;

    virtual void SetProgressRange(int low, int high) = 0;
    virtual void SetProgressPosition(int position) = 0;

    // Shows the string-table text `stringId` in a modal message box of type `boxType` and returns
    // the button pressed (kIdOk, kIdYes, kIdNo).
    virtual int ShowMessage(int stringId, unsigned boxType) = 0;

    // The same for a text that is already formatted.
    virtual int ShowMessageText(const std::string& text, unsigned boxType) = 0;
};

}  // namespace kolvane::platform
