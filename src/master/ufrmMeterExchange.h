// ufrmMeterExchange.h: the exchange of a meter's counter (换表): the date, the old counter's final
// value, the new counter's initial value, maximum count and model, and a note; over ReadingStore.
#pragma once

#include <QDialog>
#include <QString>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmMeterExchange : public QDialog
{
    Q_OBJECT
public:
    // For the registered meter meterNo, with its present maximum count and model as defaults.
    TfrmMeterExchange(const QString &meterNo, QWidget *parent = nullptr);

    void BitBtn1Click();      // "确定": stores the exchange, or corrects the one of the date
    void BitBtn3Click();      // "删除换表": deletes the exchange of the date

    // After a stored exchange: how many later readings it re-priced.
    int repricedCount() const { return m_repriced; }

private:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void DTExchangeChange();  // the date's exchange, if any, is shown for correction
    void showDefaults();
    void refuse(QLineEdit *box, const QString &text);

    QString m_meterNo;
    qint64 m_maxBound = 0;
    QString m_type;
    bool m_correcting = false;
    int m_repriced = 0;

    QLabel *lblMeter = nullptr;
    QDateEdit *DTExchange = nullptr;
    QLineEdit *edtOldFinal = nullptr;
    QLineEdit *edtNewInitial = nullptr;
    QLineEdit *edtMaxBound = nullptr;
    QLineEdit *edtType = nullptr;
    QLineEdit *edtNote = nullptr;
    QLabel *lblState = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
};
