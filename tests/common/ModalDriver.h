#pragma once
// Answers the application-modal boxes and dialogs that the code under test
// opens, so no test waits for a person. Answers are queued in order; each is
// applied to the next modal widget that appears. The texts of the answered
// message boxes are kept for the test to check.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

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
    void ClearSeen() { m_seen.clear(); }

private:
    void Poll()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == m_lastAnswered || m_answers.empty() || !modal->isVisible())
            return;
        m_lastAnswered = modal;
        Answer answer = std::move(m_answers.front());
        m_answers.pop_front();
        // Answer from a fresh event so the modal loop is fully running.
        QTimer::singleShot(0, modal, [answer = std::move(answer), modal] { answer(modal); });
    }

    QTimer m_poll;
    std::deque<Answer> m_answers;
    std::deque<Seen> m_seen;
    QPointer<QWidget> m_lastAnswered;
};
