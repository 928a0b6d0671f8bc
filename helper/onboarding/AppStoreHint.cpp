#include "onboarding/AppStoreHint.hpp"

#include "onboarding/QRCodeLabel.hpp"
#include "onboarding/Typography.hpp"

#include <QHBoxLayout>
#include <QLabel>

namespace orvik::helper {
namespace {

constexpr std::string_view storeLinkPrefix = "https://apps.apple.com/app/id";

} // namespace

std::optional<std::string> AppStoreHint::configuredID() {
    return std::string(ORVIK_APP_STORE_ID);
}

std::optional<std::string> AppStoreHint::link(const std::optional<std::string>& appStoreID) {
    if (!appStoreID || appStoreID->starts_with("{{") || appStoreID->empty()) return std::nullopt;
    return std::string(storeLinkPrefix) + *appStoreID;
}

AppStoreHint::AppStoreHint(const std::optional<std::string>& appStoreID, QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    const auto target = link(appStoreID);
    auto picture = target ? QRCode::image(*target, qrPixelSize) : std::nullopt;
    const bool showsCode = picture.has_value();
    QString text = QStringLiteral("No Orvik on your iPhone yet? Search the App Store for “Orvik: Remote for Mac”.");
    if (showsCode) {
        auto* code = new QRCodeLabel(qrSide);
        code->setObjectName(QStringLiteral("appStoreQRCode"));
        code->setPicture(std::move(picture));
        layout->addWidget(code);
        text = QStringLiteral("No Orvik on your iPhone yet? Scan this to get it on the App Store.");
    }
    auto* caption = Typography::wrappingLabel(text, Typography::Style::caption, true);
    caption->setAlignment(showsCode ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    layout->addWidget(caption, 1);
}

} // namespace orvik::helper
