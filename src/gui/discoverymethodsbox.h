// "Способы поиска компьютеров": the settings window's group of the ways a scan
// finds computers and of its retry count, read from and written to cfg.ini's
// section "main" (ScanNetbios, ScanSmb, ScanWsd, scan_retries).
#pragma once

#include <QGroupBox>

class QCheckBox;
class QSpinBox;

namespace ormix {

class ConfigFile;

class DiscoveryMethodsBox : public QGroupBox {
public:
    explicit DiscoveryMethodsBox(QWidget* parent);

    void load(const ConfigFile& config);
    // Throws what ConfigFile's writes throw; the caller reports it.
    void save(ConfigFile& config) const;

    QCheckBox* NetbiosCheck;
    QCheckBox* SmbCheck;
    QCheckBox* WsdCheck;
    QSpinBox* RetryCount;

private:
    void keepOneMethod();
};

} // namespace ormix
