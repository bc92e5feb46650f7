#include "manual/compact_tabs.h"

#include <QProxyStyle>
#include <QTabBar>
#include <QTabWidget>

namespace {

constexpr int kCaptionPadding = 12; // both sides together

// The application's style but for the tabs' padding; it measures the tabs
// and places their captions alike, so a caption keeps its whole room.
class CompactTabStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) {
            return kCaptionPadding;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

void makeTabsCompact(QTabWidget& tabs) {
    auto* style = new CompactTabStyle;
    style->setParent(&tabs); // a widget does not own its style
    tabs.tabBar()->setStyle(style);
    tabs.setUsesScrollButtons(false);
}
