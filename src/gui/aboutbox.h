// TAbout: the About box, a fixed dialog with the title, two author lines and
// the project's web and mail links.
// Tests: tests/shell/mainwindow_test.cpp.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace ormix {

class TMainDlg;

class TAbout : public QDialog {
    Q_OBJECT
public:
    explicit TAbout(const TMainDlg& mainDlg, QWidget* parent = nullptr);

    static constexpr const char* kWebAddress = "https://example.org/ormix/";
    static constexpr const char* kMailAddress = "ormix@example.org";

    QLabel* Picture = nullptr;
    QLabel* TitleLabel = nullptr; // framed; shows TitleText, set each time the box is shown
    QLabel* AuthorLine1 = nullptr;
    QLabel* AuthorLine2 = nullptr;
    QLabel* WebLabel = nullptr;
    QLabel* WebLink = nullptr;
    QLabel* MailLabel = nullptr;
    QLabel* MailLink = nullptr;
    QPushButton* OKButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    const TMainDlg& mainDlg_;
};

} // namespace ormix
