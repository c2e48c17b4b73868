#include "Style.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace style {

namespace {

// A label of fixed size narrows its font rather than cut its text, so that a
// number is never shown short of its last digits. The narrowing is chosen
// when the label is painted with a text, width or font it was not fitted
// to: the handlers write the texts, and most paints (a clock beside it
// ticking) show the same text again, which it would otherwise measure afresh
// up to seven times.
class FittedLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        FitFontToText();
        QLabel::paintEvent(event);
    }

private:
    static constexpr int NarrowestStretch = 50;

    bool Fits(int stretch) const
    {
        QFont narrowed = font();
        narrowed.setStretch(stretch);
        return QFontMetrics(narrowed).horizontalAdvance(text()) <= contentsRect().width();
    }

    int WantedStretch() const
    {
        if (Fits(100))
            return 100;
        int fits = NarrowestStretch; // the narrowest is taken even if it does not fit
        int tooWide = 100;
        while (tooWide - fits > 1) {
            const int middle = (fits + tooWide) / 2;
            (Fits(middle) ? fits : tooWide) = middle;
        }
        return fits;
    }

    void FitFontToText()
    {
        if (text() == m_fittedText && contentsRect().width() == m_fittedWidth && font() == m_fittedFont)
            return;
        const int current = font().stretch() == QFont::AnyStretch ? 100 : font().stretch();
        const int wanted = WantedStretch();
        if (wanted != current) {
            QFont narrowed = font();
            narrowed.setStretch(wanted);
            setFont(narrowed);
        }
        m_fittedText = text();
        m_fittedWidth = contentsRect().width();
        m_fittedFont = font();
    }

    QString m_fittedText;
    int m_fittedWidth = -1;
    QFont m_fittedFont;
};

} // namespace

QFont WindowFont(FontSize size, bool bold, bool underline)
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(size);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

QFont PanelFont(bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("Helvetica"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(Pt10);
    font.setBold(bold);
    return font;
}

QFont ChartFont()
{
    QFont font = PanelFont();
    font.setPixelSize(Pt8);
    return font;
}

QColor ModelColour(sedalyn::LbmAlgorithm model)
{
    switch (model) {
    case sedalyn::LbmAlgorithm::Hume:
        return {0x00, 0x9E, 0x73};
    case sedalyn::LbmAlgorithm::Janmahasatian:
        return {0xE6, 0x9F, 0x00};
    case sedalyn::LbmAlgorithm::James:
        break;
    }
    return {0x08, 0x30, 0x6B};
}

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, QRect geometry, Sizing sizing, const QString& caption,
                  const QFont& font, const QColor& colour)
{
    QLabel* label = sizing == Sizing::Fixed ? new FittedLabel(parent) : new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(font);
    SetTextColour(label, colour);
    label->setText(caption);
    label->setGeometry(geometry);
    if (sizing == Sizing::Auto)
        label->adjustSize();
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QRect geometry, const QString& text, const QFont& font)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setFont(font);
    edit->setGeometry(geometry);
    return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, QRect geometry, const QString& caption,
                        const QFont& font)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(font);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QPushButton* MakeGlyphButton(QWidget* parent, const char* name, QRect geometry, const QString& caption,
                             const QFont& font, QStyle::StandardPixmap glyph)
{
    QPushButton* button = MakeButton(parent, name, geometry, caption, font);
    button->setIcon(button->style()->standardIcon(glyph, nullptr, button));
    button->setIconSize(QSize(18, 18));
    return button;
}

} // namespace style
