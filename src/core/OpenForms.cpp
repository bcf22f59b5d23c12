#include "core/OpenForms.h"

#include <QApplication>

QWidget* FindOpenForm(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return w;
  return nullptr;
}
