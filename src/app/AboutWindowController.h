#pragma once

#include <memory>

#include <QPoint>
#include <QWidget>

namespace Ui {
class AboutWindowController;
}

namespace vesk {

/// The About window: icon, name, version, copyright and two web pages. The application keeps at
/// most one; it learns through `windowClosed` when to let go of it.
class AboutWindowController : public QWidget
{
    Q_OBJECT

public:
    explicit AboutWindowController(QWidget* parent = nullptr);
    ~AboutWindowController() override;

    /// Fills the version label ("Version <short version>") and makes the whole background a
    /// handle for moving the window.
    void setup();

public Q_SLOTS:
    /// Opens the acknowledgements page of the product web site.
    void acknowlegments();
    /// Opens the support page of the product web site.
    void support();

Q_SIGNALS:
    void windowClosed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui::AboutWindowController> m_ui;
    bool m_dragging = false;
    QPoint m_dragOffset;
};

} // namespace vesk
