// A user-interface service for tests: answers come from queues, everything shown is
// recorded. A modal form is handed to the next scripted action, which plays the user
// (sets controls, calls handlers) and normally ends by unloading the form.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/Ui.h"

namespace qvx::ui {

class ScriptedUi : public UiService {
 public:
  struct Shown {
    std::string kind;  // "message", "input", "file", "form"
    std::string text;  // message text, input prompt, file title or form class name
    std::string title;
    Buttons buttons = Buttons::OK;
    Icon icon = Icon::None;
  };
  using FormAction = std::function<void(Form&)>;

  // Queue answers. An unqueued message box answers OK (or the first button); an
  // unqueued input or file dialog answers Cancel; an unqueued form is unloaded at once.
  void QueueAnswer(Answer a) { answers_.push_back(a); }
  void QueueInput(std::optional<std::string> s) { inputs_.push_back(std::move(s)); }
  void QueueFile(std::optional<std::string> s) { files_.push_back(std::move(s)); }
  void QueueForm(FormAction action) { forms_.push_back(std::move(action)); }

  Answer Message(const MessageRequest& request) override;
  std::optional<std::string> Input(const InputRequest& request) override;
  std::optional<std::string> File(const FileRequest& request) override;
  void RunModal(Form& form) override;
  void DoEvents() override {
    ++doEventsCalls;
    if (at) at("events");
  }
  // Records the request and throws ProgramExit so a test sees the end without exiting.
  void ExitProgram(int code) override;

  struct ProgramExit {
    int code;
  };

  // Told of each box, dialog and form as it comes up ("message", "input", "file",
  // "form") and of each look at the window events ("events"): a test acts there as a
  // signal that came at that moment would.
  std::function<void(const std::string& kind)> at;

  std::vector<Shown> shown;
  std::vector<FileRequest> fileRequests;
  long doEventsCalls = 0;
  // Messages only, for the common assertion.
  std::vector<std::string> Messages() const;
  void Clear() { shown.clear(); fileRequests.clear(); }

 private:
  std::deque<Answer> answers_;
  std::deque<std::optional<std::string>> inputs_;
  std::deque<std::optional<std::string>> files_;
  std::deque<FormAction> forms_;
};

}  // namespace qvx::ui
