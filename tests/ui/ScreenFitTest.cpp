// The main window on screens from 800 x 600 up: every control on the
// screen, or in the side area's view once scrolled to; the bolus entry and
// the wake-up times in view without scrolling.

#include "CaseFixture.h"
#include "CasePanel.h"
#include "QtTestMain.h"
#include "SideDock.h"
#include "TrendPanel.h"

#include <QComboBox>
#include <QScrollArea>
#include <QScrollBar>

using namespace casefixture;

namespace {

// The screen a test's windows see, for the life of the test.
class ScreenOfSize {
public:
    explicit ScreenOfSize(QRect available)
    {
        SideDock::ScreenArea = [available](const QWidget*) { return available; };
    }
    ~ScreenOfSize() { SideDock::ScreenArea = m_saved; }
    QRect Available() const { return SideDock::ScreenArea(nullptr); }
    ScreenOfSize(const ScreenOfSize&) = delete;
    ScreenOfSize& operator=(const ScreenOfSize&) = delete;

private:
    std::function<QRect(const QWidget*)> m_saved = SideDock::ScreenArea;
};

QRect OnScreen(const TForm1& form, const QWidget* w)
{
    const QPoint client = form.pos() + QPoint(SideDock::AssumedFrame.left(), SideDock::AssumedFrame.top());
    return {client + w->mapTo(&form, QPoint()), w->size()};
}

} // namespace

class ScreenFitTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void everyControlOnTheScreen_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<bool>("chart");
        QTest::addColumn<bool>("notices");
        const QList<std::pair<const char*, QRect>> screens{
            {"800x600", {0, 0, 800, 600}},
            {"1024x768 with a task bar", {0, 0, 1024, 728}},
            {"1280x800", {0, 0, 1280, 800}},
            {"1920x1080", {0, 0, 1920, 1080}},
            {"1920x1080 at pixel ratio 2", {0, 0, 960, 540}},
            {"second screen 1024x768", {1920, 100, 1024, 768}},
        };
        for (const auto& [name, available] : screens)
            for (const bool chart : {false, true})
                for (const bool notices : {false, true})
                    QTest::addRow("%s, chart %s%s", name, chart ? "shown" : "hidden", notices ? ", notices" : "")
                        << available << chart << notices;
    }
    void everyControlOnTheScreen()
    {
        QFETCH(QRect, available);
        QFETCH(bool, chart);
        QFETCH(bool, notices);
        ScreenOfSize screen(available);
        Case c;
        if (notices) {
            c.Confirm(QStringLiteral("90"), QStringLiteral("1.50"), QStringLiteral("140"));
            const QString line = QStringLiteral("A notice long enough to need several lines in the panel, "
                                                "however wide the screen gives it room to be. ");
            c.form.Side->ShowNotice(line.repeated(4));
            c.form.Side->ShowStatus(line.repeated(3) + QStringLiteral("/home/a-clinician/cases/") + QString(100, u'x'));
        }
        c.form.TrendButton->setChecked(chart);
        c.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.form));
        QScrollArea* area = c.form.Dock->Area();
        // Lines wrap and the chart narrows rather than scroll sideways.
        QTRY_COMPARE(area->horizontalScrollBar()->maximum(), 0);

        QVERIFY(available.contains(QRect(c.form.pos(), c.form.size().grownBy(SideDock::AssumedFrame))));
        QVERIFY(area->isVisible());
        const QRect view = OnScreen(c.form, area->viewport());
        for (QWidget* w : c.form.findChildren<QWidget*>()) {
            if (!w->isVisible() || area->isAncestorOf(w))
                continue;
            QVERIFY2(available.contains(OnScreen(c.form, w)), qPrintable(w->objectName()));
        }
        QVERIFY(available.contains(view));
        for (const QWidget* w : {static_cast<QWidget*>(c.form.Side->BolusEdit),
                                 static_cast<QWidget*>(c.form.Side->BolusButton),
                                 static_cast<QWidget*>(c.form.Side->WakeUpLabel)})
            QVERIFY2(view.contains(OnScreen(c.form, w)), qPrintable(w->objectName()));
        for (QWidget* w : c.form.Side->findChildren<QWidget*>()) {
            if (!w->isVisible() || !(qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w)
                                     || qobject_cast<QComboBox*>(w) || qobject_cast<QLabel*>(w)))
                continue;
            // The whole widget: ensureWidgetVisible shows only a line edit's cursor.
            const QRect r(w->mapTo(area->widget(), QPoint()), w->size());
            area->ensureVisible(r.center().x(), r.center().y(), r.width() / 2 + 1, r.height() / 2 + 1);
            QVERIFY2(view.contains(OnScreen(c.form, w)), qPrintable(w->objectName()));
        }
        QCOMPARE(c.form.Side->Trend->isVisible(), chart);
    }

    // A notice that comes later grows the window where the screen has room:
    // Show and Save chart stay in view.
    void noticeGrowsTheWindow()
    {
        ScreenOfSize screen({0, 0, 1920, 1080});
        Case c;
        c.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.form));
        const int before = c.form.height();
        c.form.Side->ShowNotice(QStringLiteral("A resumed case says so in a line that wraps. ").repeated(12));
        QTRY_VERIFY(c.form.height() > before);
        QScrollArea* area = c.form.Dock->Area();
        QTRY_COMPARE(area->verticalScrollBar()->maximum(), 0);
        QVERIFY(screen.Available().contains(OnScreen(c.form, c.form.Side->Trend->SaveButton())));
    }

    // Where it all fits, the window opens where it always did.
    void roomyScreenKeepsThePosition()
    {
        ScreenOfSize screen({0, 0, 1920, 1080});
        TForm1 form(sedalyn::LocaleSettings{});
        QCOMPARE(form.pos(), QPoint(657, 25));
        QCOMPARE(form.Dock->Placement().side, screenfit::SideAt::Beside);
        QVERIFY(form.TrendButton->isChecked());
    }
};

SEDALYN_TEST_CLASS(ScreenFitTest)
#include "ScreenFitTest.moc"
