#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QUrl>

class QLabel;
class QLineEdit;
class QProcess;
class QPushButton;

namespace vesk {

/// The box picker sheet of a document window. The catalogue itself is shown by a program of
/// its own (vesk-boxpicker, beside the windows' program), so that no browser engine lives in
/// the process that holds the documents, and none is loaded until a box is picked. The sheet
/// waits for the name that program hands back on its standard output.
class BoxPickerSheet : public QDialog
{
    Q_OBJECT

public:
    explicit BoxPickerSheet(QWidget* parent = nullptr);
    ~BoxPickerSheet() override;

    QLineEdit* boxNameField() const;
    void setBoxNameField(QLineEdit* field);
    /// The catalogue's host; the build's unless set (tests use a local server).
    QUrl catalogueHost() const { return m_host; }
    void setCatalogueHost(const QUrl& host) { m_host = host; }
    /// The catalogue host new sheets start with: the build's unless set (tests: a local one).
    static void setDefaultCatalogueHost(const QUrl& host);
    /// The picker program: beside this one unless set (tests name the built one).
    static QString pickerProgram();
    static void setPickerProgram(const QString& path);
    /// What the sheet says (waiting, or why the picker could not start).
    QString statusText() const;

public Q_SLOTS:
    void cancelBox();
    void done(int result) override;

Q_SIGNALS:
    /// A box was chosen: its name is in the box-name field and the sheet closed.
    void boxChosen(const QString& boxName);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void start();
    void readName();
    void pickerEnded();

    QLabel* m_status = nullptr;
    QPushButton* m_retry = nullptr;
    QPointer<QLineEdit> m_boxNameField;
    QUrl m_host;
    QProcess* m_process = nullptr;
    QByteArray m_output;
};

} // namespace vesk
