// Internal to the window layer: the conversions between the program's values
// and Qt's. Only platform/*.cpp include this header.
#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QString>
#include <functional>
#include <string>
#include <string_view>

#include "platform/core/Types.h"

namespace ond {

// Program text (code page 1251) to and from Qt strings. A lone LF CR pair,
// the line break of the language table, becomes one "\n".
QString AnsiToQString(std::string_view s);
std::string QStringToAnsi(const QString& s);
// Native file paths (UTF-8) to and from Qt strings.
inline QString PathToQString(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string QStringToPath(const QString& s) { return s.toUtf8().toStdString(); }

QColor ToQColor(TColor color);
// System colours resolve through the application palette from now on.
void UsePaletteColors();
class TFont;
QFont MakeQFont(const TFont& font);

inline QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, RectWidth(r), RectHeight(r)); }
inline TRect FromQRect(const QRect& r) { return Bounds(r.x(), r.y(), r.width(), r.height()); }
inline QPoint ToQPoint(TPoint p) { return QPoint(p.X, p.Y); }
inline TPoint FromQPoint(QPoint p) { return TPoint{p.x(), p.y()}; }

// Runs a handler of the program from inside Qt's event delivery: an exception
// it throws goes to the application's exception handler and never unwinds
// into Qt. Returns false when the handler threw.
bool Guarded(const std::function<void()>& fn);

TShiftState ShiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons = Qt::NoButton);
Qt::KeyboardModifiers ModifiersToQt(TShiftState shift);
// The virtual-key code of a Qt key (0 when none fits) and back.
std::uint16_t VirtualKeyFromQt(int qtKey, bool keypad);
int QtKeyFromVirtualKey(std::uint16_t vk);
// The virtual-key code of a physical key by its X key code (0 when none
// fits), as the keys of a US layout name them: what a key of a Cyrillic
// layout is known by in key tables and shortcuts.
std::uint16_t VirtualKeyFromScanCode(std::uint32_t xKeyCode);

enum class TScrollCode;
// The scroll code of a scroll bar's action (a QAbstractSlider::SliderAction);
// moving the thumb is scTrack. False for an action that scrolls nothing.
bool ScrollCodeFromSliderAction(int action, TScrollCode& code);

}  // namespace ond
