#include "tests/support/modalboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
    , answer([](QWidget *modal) {
        if (qobject_cast<QMessageBox *>(modal))
            pressFirstButton(modal);
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    })
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(10);
}

void ModalAnswerer::setAnswer(Answer newAnswer)
{
    answer = std::move(newAnswer);
}

void ModalAnswerer::setDelay(int ms)
{
    delayMs = ms;
}

void ModalAnswerer::pressFirstButton(QWidget *modal)
{
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (box && !box->buttons().isEmpty())
        box->buttons().first()->click();
}

void ModalAnswerer::poll()
{
    int boxes = 0;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->isVisible() && qobject_cast<QMessageBox *>(w))
            ++boxes;
    }
    mostMessageBoxesAtOnce = qMax(mostMessageBoxesAtOnce, boxes);

    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (modal != current) {
        current = modal;
        currentSince = now;
        answered = false;
        Seen s;
        s.className = QString::fromLatin1(modal->metaObject()->className());
        s.title = modal->windowTitle();
        s.hasParent = modal->parentWidget() != nullptr;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            s.text = box->text();
            s.informativeText = box->informativeText();
            s.icon = box->icon();
            s.buttonCount = box->buttons().size();
        }
        seen.append(s);
    }
    if (answered || now - currentSince < delayMs)
        return;
    answered = true;
    answer(modal);
}
