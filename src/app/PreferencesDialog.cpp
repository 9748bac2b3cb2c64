#include "PreferencesDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "Terminals.h"
#include "UserDefaults.h"

namespace vesk {

namespace {

// The combo box's items carry the command line they stand for; these two carry none.
const QString kAutomatic = QStringLiteral("automatic");
const QString kCustom = QStringLiteral("custom");

} // namespace

PreferencesDialog::PreferencesDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PreferencesDialog"));
    setWindowTitle(QStringLiteral("Preferences"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_terminal = new QComboBox(this);
    m_terminal->setObjectName(QStringLiteral("cmbTerminal"));
    m_terminal->addItem(QStringLiteral("Find one automatically"), kAutomatic);
    for (const Terminal& terminal : knownTerminals()) {
        if (QStandardPaths::findExecutable(terminal.program).isEmpty())
            continue;
        m_terminal->addItem(terminal.name, QStringList{terminal.program} + terminal.before);
    }
    m_terminal->addItem(QStringLiteral("Another command..."), kCustom);
    form->addRow(QStringLiteral("Terminal:"), m_terminal);
    m_command = new QLineEdit(this);
    m_command->setObjectName(QStringLiteral("txtTerminalCommand"));
    m_command->setPlaceholderText(QStringLiteral("for example: myterm --execute"));
    form->addRow(QStringLiteral("Command:"), m_command);
    layout->addLayout(form);
    auto* help = new QLabel(
        QStringLiteral("SSH sessions open in this terminal. The path of the script to run is "
                       "added at the end of the command."),
        this);
    help->setWordWrap(true);
    help->setEnabled(false);
    layout->addWidget(help);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    const QString stored = UserDefaults::standard().stringForKey(kTerminalCommand).trimmed();
    int index = 0;
    if (!stored.isEmpty()) {
        index = m_terminal->count() - 1;
        for (int i = 1; i < m_terminal->count() - 1; ++i) {
            if (m_terminal->itemData(i).toStringList().join(u' ') == stored)
                index = i;
        }
    }
    m_terminal->setCurrentIndex(index);
    m_command->setText(stored);
    choiceChanged(index);
    connect(m_terminal, &QComboBox::currentIndexChanged, this, &PreferencesDialog::choiceChanged);
    resize(460, sizeHint().height());
}

void PreferencesDialog::choiceChanged(int index)
{
    const QVariant data = m_terminal->itemData(index);
    const bool custom = data.toString() == kCustom;
    m_command->setReadOnly(!custom);
    if (data.toString() == kAutomatic)
        m_command->clear();
    else if (!custom)
        m_command->setText(data.toStringList().join(u' '));
    if (custom)
        m_command->setFocus();
}

void PreferencesDialog::accept()
{
    const bool automatic = m_terminal->currentData().toString() == kAutomatic;
    const QString command = m_command->text().trimmed();
    if (automatic || command.isEmpty())
        UserDefaults::standard().removeObject(kTerminalCommand);
    else
        UserDefaults::standard().setValue(kTerminalCommand, command);
    QDialog::accept();
}

} // namespace vesk
