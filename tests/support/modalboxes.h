#pragma once

// Answers the message boxes and dialogs that a test makes the tool show, and remembers them.
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QString className;
        QString title;
        QString text;
        QString informativeText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttonCount = 0;
        bool hasParent = false;
    };

    // How a modal window is answered; by default a message box gets its first button and
    // any other dialog is rejected.
    using Answer = std::function<void(QWidget *modal)>;

    explicit ModalAnswerer(QObject *parent = nullptr);

    void setAnswer(Answer answer);
    // Let a modal window stay up this long before it is answered.
    void setDelay(int ms);

    QList<Seen> seen;
    int mostMessageBoxesAtOnce = 0;

    static void pressFirstButton(QWidget *modal);

private:
    void poll();

    QTimer timer;
    Answer answer;
    int delayMs = 0;
    QPointer<QWidget> current;
    bool answered = false;
    qint64 currentSince = 0;
};
