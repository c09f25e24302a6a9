// The About box of the Help menu: product name, version and a notice line on
// white, closed by its OK button.
#pragma once

#include <QDialog>
#include <QSize>

class QLabel;
class QPushButton;

namespace vellumix::app {

class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr QSize kSize{330, 172};

    explicit CAboutDialog(QWidget* parent = nullptr);

    QLabel* ProductLabel() const { return m_pProduct; }
    QLabel* VersionLabel() const { return m_pVersion; }
    QLabel* NoticeLabel() const { return m_pNotice; }
    QPushButton* OkButton() const { return m_pOk; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* m_pProduct;
    QLabel* m_pVersion;
    QLabel* m_pNotice;
    QPushButton* m_pOk;
};

}  // namespace vellumix::app
