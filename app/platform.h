#pragma once
// The narrow seam to the desktop: message boxes, file and colour dialogs, web
// links and the clipboard. The program uses Qt's; tests script the answers so
// nothing ever blocks on a dialog.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

enum class MessageIcon { None, Information, Question, Warning, Stop };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

struct FileDialogRequest {
  std::string title;
  std::string filter;            // "Description|pattern|Description|pattern||"
  std::string defaultExtension;  // without the dot
  std::string initialName;
  std::string initialDirectory;
  bool fileMustExist = false;
  bool confirmOverwrite = false;  // save dialogs: ask before replacing a file
};

class Platform {
 public:
  virtual ~Platform() = default;
  virtual MessageAnswer messageBox(const std::string& text, const std::string& caption,
                                   MessageButtons buttons, MessageIcon icon) = 0;
  // The chosen file's full path, or nothing when cancelled.
  virtual std::optional<std::string> openFileName(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> saveFileName(const FileDialogRequest& request) = 0;
  // 0x00BBGGRR like a Windows colour reference, or nothing when cancelled.
  virtual std::optional<uint32_t> chooseColor(uint32_t initial) = 0;
  // Opens http and https addresses only; false for anything else.
  virtual bool openUrl(const std::string& url) = 0;
  // Opens a file of ours (the manual) in the desktop's viewer; false when
  // nothing could be started.
  virtual bool openLocalFile(const std::string& path) = 0;
  // A 24-bit image: the 40-byte bitmap header followed by bottom-up BGR rows.
  virtual void setClipboardDib(const std::vector<uint8_t>& dib) = 0;
};

// Splits a "Description|pattern|...||" filter into (description, pattern) pairs.
std::vector<std::pair<std::string, std::string>> SplitFileFilter(const std::string& filter);

// The suffix a save dialog adds for a filter entry as Qt shows it
// ("PNG Picture (*.png)" gives "png"): the first pattern's, or `fallback`
// where that pattern names no suffix ("*.*").
std::string SuffixOfFilter(const std::string& entry, const std::string& fallback);

// Whether a link may be handed to the desktop: http and https only, so a link
// read from a file is never run as a command.
bool IsWebAddress(const std::string& url);

}  // namespace kestrova
