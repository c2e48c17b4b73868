#pragma once
// Answers the application-modal boxes and dialogs that the code under test
// opens, so no test waits for a person. Answers are queued in order; each is
// applied to the next modal widget that appears. The texts of the answered
// message boxes are kept for the test to check. A modal widget left a second
// with no answer for it is closed and noted as a stray, so that a fault
// fails the test instead of hanging it.

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <utility>

class ModalDriver : public QObject {
public:
    struct Seen {
        QString text;
        QString caption;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        Qt::TextFormat format = Qt::AutoText;
        Qt::WindowModality modality = Qt::NonModal;
    };

    using Answer = std::function<void(QWidget* modal)>;

    ModalDriver()
    {
        m_poll.setInterval(5);
        connect(&m_poll, &QTimer::timeout, this, &ModalDriver::Poll);
        m_poll.start();
    }

    // Press `button` on the next message box.
    void AnswerBox(QMessageBox::StandardButton button)
    {
        AnswerBoxWith([button](QMessageBox* box) {
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->done(button);
        });
    }

    // Press `key` on the next message box as a user would: on the button
    // that has the focus, which is the default one.
    void AnswerBoxByKey(int key)
    {
        AnswerBoxWith([key](QMessageBox* box) {
            QWidget* focused = box->focusWidget() ? box->focusWidget() : box;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
            QApplication::sendEvent(focused, &press);
            QApplication::sendEvent(focused, &release);
        });
    }

    // Note what the next message box shows, then end it with `end`.
    void AnswerBoxWith(std::function<void(QMessageBox* box)> end)
    {
        m_answers.push_back([this, end = std::move(end)](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box)
                return;
            m_seen.push_back({box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                              box->textFormat(), box->windowModality()});
            end(box);
        });
    }

    // Choose `path` in the next file dialog (empty: cancel it).
    void AnswerFileDialog(const QString& path)
    {
        m_answers.push_back([path](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return;
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(path);
            // selectFile leaves the name field alone while it has the focus.
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(path);
            // QFileDialog::accept is protected; QDialog's is public and virtual.
            static_cast<QDialog*>(dialog)->accept();
        });
    }

    // Any other handling of the next modal widget.
    void AnswerWith(Answer answer) { m_answers.push_back(std::move(answer)); }

    // Answers still waiting for their modal widget.
    std::size_t Pending() const { return m_answers.size(); }

    const std::deque<Seen>& SeenBoxes() const { return m_seen; }
    QStringList SeenTexts() const
    {
        QStringList texts;
        for (const Seen& s : m_seen)
            texts << s.text;
        return texts;
    }

    // The strays of every driver since the last check.
    static QStringList& Strays()
    {
        static QStringList strays;
        return strays;
    }

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            m_waiting = nullptr;
            return;
        }
        if (modal != m_lastAnswered && !m_answers.empty()) {
            m_lastAnswered = modal;
            Answer answer = std::move(m_answers.front());
            m_answers.pop_front();
            // Answer from a fresh event so the modal loop is fully running.
            QTimer::singleShot(0, modal, [answer = std::move(answer), modal] { answer(modal); });
            return;
        }
        if (modal != m_waiting) {
            m_waiting = modal;
            m_waitingSince.start();
        } else if (m_waitingSince.hasExpired(1000)) {
            CloseStray(modal);
        }
    }

    void CloseStray(QWidget* modal)
    {
        m_waiting = nullptr;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            Strays() << QStringLiteral("box \"%1\" (%2)").arg(box->text(), box->windowTitle());
        else
            Strays() << QStringLiteral("%1 \"%2\"").arg(QLatin1String(modal->metaObject()->className()),
                                                        modal->windowTitle());
        // QDialog's own done: no Cancel behaviour of the dialog runs.
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->QDialog::done(-1);
        else
            modal->close();
    }

    QTimer m_poll;
    std::deque<Answer> m_answers;
    std::deque<Seen> m_seen;
    QPointer<QWidget> m_lastAnswered;
    QPointer<QWidget> m_waiting;
    QElapsedTimer m_waitingSince;
};

// In each test class's cleanup(): a modal nobody answered is a failure.
#define VERIFY_NO_STRAY_MODALS()                                                                 \
    do {                                                                                         \
        const QStringList strays = std::exchange(ModalDriver::Strays(), QStringList());          \
        QVERIFY2(strays.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + strays.join(u"; "))); \
    } while (false)
