#pragma once
#include "platform.h"

class QWidget;

namespace kestrova {

// The desktop's own dialogs, clipboard and browser, through Qt.
class QtPlatform : public Platform {
 public:
  void setParentWindow(QWidget* parent) { parent_ = parent; }
  MessageAnswer messageBox(const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) override;
  std::optional<std::string> openFileName(const FileDialogRequest& request) override;
  std::optional<std::string> saveFileName(const FileDialogRequest& request) override;
  std::optional<uint32_t> chooseColor(uint32_t initial) override;
  bool openUrl(const std::string& url) override;
  bool openLocalFile(const std::string& path) override;
  void setClipboardDib(const std::vector<uint8_t>& dib) override;

 private:
  QWidget* parent_ = nullptr;
};

// Asked to end (SIGTERM, Ctrl+C): the dialog open now is answered as its
// Cancel, none opens after, and the program ends as closing its window
// ends it, also before its main loop has started.
void RequestQuit();
// Noted by the signal handler itself (async-signal-safe): work that runs
// without the event loop (an export's tiles) asks this between its steps.
void NoteTerminateSignal();
bool TerminateSignalled();
// What was noted is gone (a test that sent itself the signal goes on).
void ForgetTerminateSignal();
bool QuitRequested();

}  // namespace kestrova
