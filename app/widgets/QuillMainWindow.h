// The window base class of the platform's applications: a QMainWindow with a
// window image and a help hook (F1) that opens the application's help page.
#pragma once
#include <QMainWindow>
#include <QPointer>
#include <QString>

class QDialog;
class QTextBrowser;

namespace Libraries::Widgets::Quill {

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~MainWindow() override;

    // Sets the window icon from the image `name` among the compiled-in images
    // (":/images/<name>"); false, leaving the icon as it was, when there is none.
    bool setWindowImage(const QString &name);

    // The help viewer; null until help was first shown.
    QDialog *helpViewer() const;

    // Where the help page `page` (a path such as "/Program/app.drivescope.html")
    // is found: the compiled-in help folder, by file name. Empty URL when absent.
    static QUrl helpUrl(const QString &page, const QString &anchor = QString());

public slots:
    // Runs the help hook; F1 calls it.
    void showHelp();

protected:
    // The help hook: a derived window names its page with tellHelpUrl().
    // The default shows nothing.
    virtual void helpRequested();
    // Shows `page` (at `anchor`, if not empty) in the help viewer; false when
    // the page does not exist.
    bool tellHelpUrl(const QString &page, const QString &anchor);

private:
    QPointer<QDialog> m_helpViewer;
    QTextBrowser *m_helpBrowser = nullptr;
};

namespace Utils {
// Font of the given type in the application font's size: type 1 is fixed
// pitch (tables of hexadecimal digits), anything else the application font.
QFont sizeAdjustedFont(int type);
} // namespace Utils

} // namespace Libraries::Widgets::Quill

namespace Libraries::Quill::Tools::Info {
// The product family's base name, as it appears in user-visible notices.
QString productBaseName();
} // namespace Libraries::Quill::Tools::Info
