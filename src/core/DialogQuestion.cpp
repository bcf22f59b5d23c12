#include "core/DialogQuestion.h"

#include <QDialog>
#include <memory>
#include <utility>

#include "platform/QuestionBoxes.h"

namespace {

// What the handle and the dialog's signals share. The dialog is forgotten
// the moment it starts to go: by then it is a dialog no longer, and nothing
// may be asked of it.
struct TState {
  QDialog* dialog = nullptr;
  bool open = true;
};

class TDialogQuestion final : public TOpenQuestion {
 public:
  explicit TDialogQuestion(std::shared_ptr<TState> state) : state_(std::move(state)) {}
  ~TDialogQuestion() override {
    state_->open = false;
    if (QDialog* dialog = std::exchange(state_->dialog, nullptr)) {
      dialog->hide();
      dialog->deleteLater();
    }
  }

 private:
  std::shared_ptr<TState> state_;
};

}  // namespace

TQuestion ShowQuestion(QDialog* dialog, std::function<void(QDialog*)> answered, QWidget* about) {
  auto state = std::make_shared<TState>();
  state->dialog = dialog;
  auto answer = [state, answered = std::move(answered)](QDialog* finished) {
    if (!state->open) return;
    state->open = false;
    answered(finished);
  };
  QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer] {
    dialog->deleteLater();
    answer(dialog);
  });
  QObject::connect(dialog, &QObject::destroyed, [state, answer] {
    state->dialog = nullptr;
    answer(nullptr);
  });
  platform::MarkTransient(dialog);
  platform::CentreOn(dialog, about);
  dialog->setModal(false);
  dialog->show();
  // A question that comes unasked is seen: it comes to the front, and with it
  // the window it stands above, rather than staying under the user's other
  // windows until it times out.
  dialog->raise();
  return std::make_unique<TDialogQuestion>(state);
}
