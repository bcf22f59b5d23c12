#pragma once

#include <QString>
#include <QWidget>

// Windows that exist at most once ("FormPref", "FormUpdate", "FormRandom" ...)
// are found among the open top-level windows by their object name.
QWidget* FindOpenForm(const QString& name);

// The open window of that name brought to the front, or a new one from
// make() shown.
template <class T, class Make>
T* ShowSingleForm(const QString& name, Make&& make) {
  if (auto* open = qobject_cast<T*>(FindOpenForm(name))) {
    open->showNormal();
    open->raise();
    open->activateWindow();
    return open;
  }
  T* form = make();
  form->show();
  return form;
}
