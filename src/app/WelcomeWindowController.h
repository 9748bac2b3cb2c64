#pragma once

#include <memory>

#include <QPoint>
#include <QStringList>
#include <QWidget>

class QKeyEvent;
class QTableWidget;
class QLabel;

namespace Ui {
class WelcomeWindowController;
}

namespace vesk {

class DocumentController;

/// The window shown at launch instead of an untitled document: recent documents, a new or an
/// existing document, the sample gallery. Borderless, moved by its background. The application
/// keeps at most one; it is deleted when it closes.
class WelcomeWindowController : public QWidget
{
    Q_OBJECT

public:
    explicit WelcomeWindowController(DocumentController& documents, QWidget* parent = nullptr);
    ~WelcomeWindowController() override;

    /// Version label, table wiring and the first fill; the table takes the keyboard.
    void setup();
    /// Reads the document controller's recent documents afresh and selects the first row.
    void reloadData();

    /// The window's keys: Escape closes, the arrows move the selection within the list, Return
    /// opens the selected document. True when the key was one of them.
    bool keyDown(QKeyEvent* event);

    QStringList recentDocuments() const { return m_recentDocuments; }
    QTableWidget* tableView() const;
    QLabel* lblVersion() const;

public Q_SLOTS:
    void closeWindow();
    /// Closes the window, then opens a new untitled document.
    void newDocument();
    /// Closes the window, then asks for .vesk documents to open.
    void openDocument();
    /// The online gallery of sample documents, in the browser.
    void openGallery();
    /// Opens the selected recent document and closes the window, whether or not it opened.
    void openSelectedDocument();
    void doubleClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void selectRow(int row);
    int selectedRow() const;
    void updateRowStyles();

    std::unique_ptr<Ui::WelcomeWindowController> m_ui;
    DocumentController& m_documents;
    QStringList m_recentDocuments;
    QLabel* m_placeholder = nullptr;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace vesk
