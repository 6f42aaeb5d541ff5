// The settings window's group of scan methods.
#include "gui/discoverymethodsbox.h"

#include "scan/scanner.h"
#include "settings/appsettings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

namespace ormix {

DiscoveryMethodsBox::DiscoveryMethodsBox(QWidget* parent)
    : QGroupBox(QStringLiteral("Способы поиска компьютеров"), parent) {
    setObjectName(QStringLiteral("DiscoveryMethodsBox"));
    NetbiosCheck = new QCheckBox(QStringLiteral("NetBIOS"), this);
    NetbiosCheck->setObjectName(QStringLiteral("NetbiosCheck"));
    NetbiosCheck->setToolTip(QStringLiteral("Запрос состояния узла NetBIOS на каждый адрес"));
    SmbCheck = new QCheckBox(QStringLiteral("Порт SMB (445)"), this);
    SmbCheck->setObjectName(QStringLiteral("SmbCheck"));
    SmbCheck->setToolTip(
        QStringLiteral("Находит компьютеры с общими папками, которые не отвечают по NetBIOS"));
    WsdCheck = new QCheckBox(QStringLiteral("WS-Discovery"), this);
    WsdCheck->setObjectName(QStringLiteral("WsdCheck"));
    WsdCheck->setToolTip(QStringLiteral(
        "Находит компьютеры, которые объявляют себя по WS-Discovery (сетевое окружение Windows)"));
    auto* retryLabel = new QLabel(QStringLiteral("Повторных запросов:"), this);
    RetryCount = new QSpinBox(this);
    RetryCount->setObjectName(QStringLiteral("RetryCount"));
    RetryCount->setRange(0, 2);
    RetryCount->setToolTip(QStringLiteral("Сколько раз повторить запрос адресам, которые не ответили"));

    auto* methods = new QHBoxLayout;
    methods->addWidget(NetbiosCheck);
    methods->addWidget(SmbCheck);
    methods->addWidget(WsdCheck);
    methods->addStretch(1);
    auto* retries = new QHBoxLayout;
    retries->addWidget(retryLabel);
    retries->addWidget(RetryCount);
    retries->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(5, 3, 5, 3);
    layout->setSpacing(2);
    layout->addLayout(methods);
    layout->addLayout(retries);

    // A scan needs at least one way to find computers.
    connect(NetbiosCheck, &QCheckBox::toggled, this, [this] { keepOneMethod(); });
    connect(SmbCheck, &QCheckBox::toggled, this, [this] { keepOneMethod(); });
    connect(WsdCheck, &QCheckBox::toggled, this, [this] { keepOneMethod(); });
}

void DiscoveryMethodsBox::keepOneMethod() {
    if (!NetbiosCheck->isChecked() && !SmbCheck->isChecked() && !WsdCheck->isChecked())
        NetbiosCheck->setChecked(true);
}

void DiscoveryMethodsBox::load(const AppSettings& settings) {
    const unsigned methods = settings.scanMethods();
    NetbiosCheck->setChecked((methods & kFoundByNetbios) != 0);
    SmbCheck->setChecked((methods & kFoundBySmb) != 0);
    WsdCheck->setChecked((methods & kFoundByWsd) != 0);
    RetryCount->setValue(settings.scanRetries);
}

void DiscoveryMethodsBox::save(AppSettings& settings) const {
    settings.scanNetbios = NetbiosCheck->isChecked();
    settings.scanSmb = SmbCheck->isChecked();
    settings.scanWsd = WsdCheck->isChecked();
    settings.scanRetries = RetryCount->value();
}

} // namespace ormix
