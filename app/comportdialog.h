#pragma once

// Asks the operator which of several attached units to use. Knows nothing of ports: it shows the
// names it is given and reports the one left selected.
#include <QDialog>
#include <QStringList>

namespace Ui {
class ComPortDialog;
}

class ComPortDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ComPortDialog(QWidget *parent = nullptr);
    ~ComPortDialog() override;

    // The names to offer; shown when the dialog runs.
    void setPortNames(const QStringList &names);
    // Appends the names after whatever the list already holds, then runs the dialog modally.
    int exec() override;
    QString selectedPortName() const;

private:
    Ui::ComPortDialog *ui;
    QStringList portNames;
};
