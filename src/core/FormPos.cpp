#include "core/FormPos.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <optional>

#include "core/session/ErrorLog.h"
#include "core/session/Reg.h"
#include "platform/Registry.h"

namespace {

std::optional<int> ReadIfPresent(const platform::TRegistry& reg, const std::string& section, const char* name) {
  try {
    if (reg.HasCurrentKey() && reg.ValueExists(name)) return reg.ReadInteger(name);
  } catch (const platform::Exception& e) {
    LogError("None", "None", "Setting " + section + "\\" + name + ": " + e.what() + "; ignored");
  }
  return std::nullopt;
}

}  // namespace

void RestoreMainFormPos(QWidget* form) {
  const std::string section = form->objectName().toStdString();
  platform::TRegistry reg(platform::RegRoot::CurrentUser);
  try {
    reg.OpenKey(TReg::KeyPath() + section, false);
  } catch (const platform::Exception& e) {
    LogError("None", "None", "Window position: " + std::string(e.what()));
  }
  const auto left = ReadIfPresent(reg, section, "Left");
  const auto top = ReadIfPresent(reg, section, "Top");
  const auto height = ReadIfPresent(reg, section, "Height");
  if (left || top || height) {
    // Whatever is not stored keeps the window's designed place and size.
    form->move(left.value_or(form->x()), top.value_or(form->y()));
    if (height) form->resize(form->width(), *height);
    return;
  }
  QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  form->move(area.center() - QPoint(form->width() / 2, form->height() / 2));
}

void SaveMainFormPos(QWidget* form) {
  if (form->isMinimized()) return;
  platform::TRegistry reg(platform::RegRoot::CurrentUser);
  reg.OpenKey(TReg::KeyPath() + form->objectName().toStdString(), true);
  reg.WriteBool("MaxState", false);
  reg.WriteInteger("Left", form->x());
  reg.WriteInteger("Top", form->y());
  reg.WriteInteger("Height", form->height());
}
