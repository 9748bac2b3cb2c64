#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;

namespace vesk {

/// Vesk's few preferences; for now the terminal that SSH sessions open in.
class PreferencesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PreferencesDialog(QWidget* parent = nullptr);

    /// Stores what the dialog shows.
    void accept() override;

private:
    void choiceChanged(int index);

    QComboBox* m_terminal = nullptr;
    QLineEdit* m_command = nullptr;
};

} // namespace vesk
