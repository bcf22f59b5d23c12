#include "core/DialogQuestion.h"

#include <QDialog>
#include <QPointer>
#include <memory>

namespace {

class TDialogQuestion final : public TOpenQuestion {
 public:
  TDialogQuestion(QDialog* dialog, std::shared_ptr<bool> open) : dialog_(dialog), open_(std::move(open)) {}
  ~TDialogQuestion() override {
    *open_ = false;
    if (dialog_) {
      dialog_->hide();
      dialog_->deleteLater();
    }
  }

 private:
  QPointer<QDialog> dialog_;
  std::shared_ptr<bool> open_;
};

}  // namespace

TQuestion ShowQuestion(QDialog* dialog, std::function<void(QDialog*)> answered) {
  auto open = std::make_shared<bool>(true);
  auto answer = [open, answered = std::move(answered)](QDialog* finished) {
    if (!*open) return;
    *open = false;
    answered(finished);
  };
  QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer] {
    dialog->deleteLater();
    answer(dialog);
  });
  QObject::connect(dialog, &QObject::destroyed, [answer] { answer(nullptr); });
  dialog->setModal(false);
  dialog->show();
  return std::make_unique<TDialogQuestion>(dialog, open);
}
