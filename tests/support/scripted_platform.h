#pragma once
// A Platform whose answers the test sets in advance; records what was asked.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/platform.h"

namespace kestrova::test {

struct ShownMessage {
  std::string text;
  std::string caption;
  MessageButtons buttons;
  MessageIcon icon;
};

class ScriptedPlatform : public Platform {
 public:
  std::deque<MessageAnswer> answers;  // for Yes/No questions; No when empty
  std::deque<std::optional<std::string>> fileAnswers;
  std::deque<std::optional<uint32_t>> colorAnswers;
  std::vector<ShownMessage> messages;
  std::vector<FileDialogRequest> fileRequests;
  std::vector<std::string> openedUrls;
  std::vector<std::string> openedFiles;
  bool localFilesOpen = true;  // false: as if no browser could be started
  // Runs while a file dialog is up or the clipboard is being written: what
  // the user would see at that moment.
  std::function<void()> whileAsked;
  std::vector<std::vector<uint8_t>> clipboard;

  MessageAnswer messageBox(const std::string& text, const std::string& caption,
                           MessageButtons buttons, MessageIcon icon) override {
    messages.push_back({text, caption, buttons, icon});
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::No;
    const MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> openFileName(const FileDialogRequest& request) override {
    return nextFile(request);
  }
  std::optional<std::string> saveFileName(const FileDialogRequest& request) override {
    return nextFile(request);
  }
  std::optional<uint32_t> chooseColor(uint32_t) override {
    if (colorAnswers.empty()) return std::nullopt;
    auto answer = colorAnswers.front();
    colorAnswers.pop_front();
    return answer;
  }
  bool openUrl(const std::string& url) override {
    if (!IsWebAddress(url)) return false;
    openedUrls.push_back(url);
    return true;
  }
  bool openLocalFile(const std::string& path) override {
    openedFiles.push_back(path);
    return localFilesOpen;
  }
  void setClipboardDib(const std::vector<uint8_t>& dib) override {
    if (whileAsked) whileAsked();
    clipboard.push_back(dib);
  }

 private:
  std::optional<std::string> nextFile(const FileDialogRequest& request) {
    if (whileAsked) whileAsked();
    fileRequests.push_back(request);
    if (fileAnswers.empty()) return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }
};

}  // namespace kestrova::test
