// "Способы поиска компьютеров": the settings window's group of the ways a scan
// finds computers and of its retry count (AppSettings scanNetbios, scanSmb,
// scanWsd, scanRetries; saved with the rest of the settings).
#pragma once

#include <QGroupBox>

class QCheckBox;
class QSpinBox;

namespace ormix {

struct AppSettings;

class DiscoveryMethodsBox : public QGroupBox {
public:
    explicit DiscoveryMethodsBox(QWidget* parent);

    void load(const AppSettings& settings);
    void save(AppSettings& settings) const;

    QCheckBox* NetbiosCheck;
    QCheckBox* SmbCheck;
    QCheckBox* WsdCheck;
    QSpinBox* RetryCount;

private:
    void keepOneMethod();
};

} // namespace ormix
