// ufrmAbout.h: the about box: product, version, contact and two facts about the machine.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
struct SystemFacts;

class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);
    ~TfrmAbout() override;            // clears frmAbout

    void BitBtn1Click();
    // Completes the system and memory captions; a missing fact shows a warning.
    void CompleteLines(const SystemFacts &facts);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();

    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *lblMemory = nullptr;
    QLabel *lblOS = nullptr;
    QFrame *Shape1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    bool m_shown = false;
};

extern TfrmAbout *frmAbout;
