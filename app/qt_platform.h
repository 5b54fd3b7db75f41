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

}  // namespace kestrova
