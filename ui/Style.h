#pragma once
// The program's look in one place: the fonts and colours of the windows and
// the panel beside them, and the controls made in that style.

#include "BodySize.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QStyle>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace style {

// The sizes are given for 96 dpi; pixel sizes keep the layout the same at
// every resolution.
enum FontSize { Pt8 = 11, Pt10 = 13, Pt12 = 16, Pt18 = 24 };

// The main window's face: a narrow sans-serif preferred to the wide default
// so that the texts fit the fixed widths.
QFont WindowFont(FontSize size, bool bold = false, bool underline = false);
// The panel beside the window.
QFont PanelFont(bool bold = false);
// The trend chart's axes and legend: the window's small text, so the chart
// reads like the panel beside it at every resolution.
QFont ChartFont();

inline const QColor Black(0x00, 0x00, 0x00);
inline const QColor Red(0xFF, 0x00, 0x00);
inline const QColor Maroon(0x80, 0x00, 0x00);
inline const QColor Green(0x00, 0x80, 0x00);
inline const QColor White(0xFF, 0xFF, 0xFF);
inline const QColor ButtonFace(0xF0, 0xF0, 0xF0);

// The chart's models: hues that colour-blind readers tell apart, at
// lightnesses far enough apart (about 17, 42 and 64 % grey) to stay apart
// on a grey-scale print.
QColor ModelColour(sedalyn::LbmAlgorithm model);
// The Eleveld model: a dark red, about 28 % grey, between James and Hume,
// drawn wider than they are so that a grey-scale print keeps it apart.
inline const QColor EleveldColour(0xB2, 0x18, 0x2B);
inline const QColor RateColour(0x20, 0x20, 0x20);
inline const QColor RateFillColour(0xD0, 0xD0, 0xD0);
inline const QColor WakeUpColour(0x50, 0x50, 0x50);
inline const QColor RateChangeColour(0xB4, 0xB4, 0xB4);
inline const QColor BolusColour(0x7B, 0x32, 0x94);
inline const QColor GridColour(0xDC, 0xDC, 0xDC);

// Text colour for labels, edit boxes and buttons alike.
void SetTextColour(QWidget* widget, const QColor& colour);

// A fixed label keeps its geometry and narrows its font rather than cut its
// text; an automatic one takes the size of its text.
enum class Sizing { Fixed, Auto };

QLabel* MakeLabel(QWidget* parent, const char* name, QRect geometry, Sizing sizing, const QString& caption,
                  const QFont& font, const QColor& colour);
QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect geometry, const QString& text, const QFont& font);
QPushButton* MakeButton(QWidget* parent, const char* name, QRect geometry, const QString& caption,
                        const QFont& font);
// A button with one of the style's standard icons (check mark, cross, door, help).
QPushButton* MakeGlyphButton(QWidget* parent, const char* name, QRect geometry, const QString& caption,
                             const QFont& font, QStyle::StandardPixmap glyph);

} // namespace style
