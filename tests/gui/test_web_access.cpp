// "Web access" and a double-click in the monitor list, through the real main
// window: the refusals, and the address handed to the desktop's browser,
// caught by a URL handler for http.

#include "WindowFixture.h"
#include "protocol/wire/Ipv4Text.h"
#include "support/AgentRecords.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include <string>
#include <vector>

using namespace kestrel;
using test_agents::Agent;

namespace {

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<std::string> opened;
public Q_SLOTS:
    void Open(const QUrl& url) { opened.push_back(url.toString().toStdString()); }
};

class WebAccessTest : public ShownWindowFixture {
protected:
    void SetUp() override {
        ShownWindowFixture::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "Open");
        for (const DeviceRecord& r :
             {Agent("020000000001", "198.18.0.11"), Agent("020000000002", "198.18.0.12"),
              Agent("020000000003", "198.18.0.13", AGENT_MODE_LOADER)}) {
            ASSERT_TRUE(window->tables().monitor.Append(r));
            window->lists().RefreshMonitorRow(window->tables().monitor.count() - 1);
        }
        ASSERT_TRUE(window->tables().discovery.Append(Agent("020000000009", "198.18.0.19")));
        window->lists().RefreshDiscoveryRow(0);
    }
    void TearDown() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        ShownWindowFixture::TearDown();
    }

    QTreeWidget& Monitor() { return window->monitorList(); }
    void Select(QTreeWidget& list, std::initializer_list<int> rows) {
        list.clearSelection();
        for (int row : rows)
            list.topLevelItem(row)->setSelected(true);
    }
    void PressWebAccess() {
        QTest::mouseClick(window->form().button(IDC_WEB_ACCESS), Qt::LeftButton);
    }
    QPoint RowPoint(int row) {
        return Monitor().visualItemRect(Monitor().topLevelItem(row)).center();
    }

    UrlCatcher catcher;
};

TEST_F(WebAccessTest, ButtonRefusesInOrderAndOpensNothing) {
    const struct {
        const char* name;
        std::initializer_list<int> discovery, monitor;
        const char* text;
    } cases[] = {
        {"discovery row", {0}, {}, "Only the devices in the monitor list can entry the web"},
        {"two rows", {}, {0, 1}, "Only one device can be selected"},
        {"none", {}, {}, "Please select one device in the monitor list"},
        {"loader mode",
         {},
         {2},
         "Agent is in loader mode, it can't set \n it needs firmware upgrade"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        notifier.shown.clear();
        Select(window->discoveryList(), {});
        Select(Monitor(), {});
        Select(window->discoveryList(), c.discovery);
        Select(Monitor(), c.monitor);
        PressWebAccess();
        EXPECT_EQ(notifier.shown,
                  (std::vector<ShownMessage>{{c.text, "Error", MessageIcon::Error}}));
    }
    EXPECT_TRUE(catcher.opened.empty());
}

TEST_F(WebAccessTest, ButtonAndDoubleClickHandTheAddressToTheBrowser) {
    Select(Monitor(), {1});
    PressWebAccess();
    const QPoint at = RowPoint(0);
    QTest::mouseClick(Monitor().viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(Monitor().viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_EQ(catcher.opened,
              (std::vector<std::string>{"http://198.18.0.12/", "http://198.18.0.11/"}));
}

TEST_F(WebAccessTest, DoubleClickOnEmptySpaceWithNoRowSelected) {
    Select(Monitor(), {});
    const QPoint below(5, Monitor().viewport()->height() - 5);
    QTest::mouseDClick(Monitor().viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(notifier.Texts(),
              std::vector<std::string>{"Please select one device in the monitor list"});
    EXPECT_TRUE(catcher.opened.empty());
}

TEST_F(WebAccessTest, BrowserThatCannotBeStartedIsReported) {
    // A handler that cannot take the call: the opening fails.
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "NoSuchSlot");
    Select(Monitor(), {0});
    PressWebAccess();
    EXPECT_EQ(notifier.shown,
              (std::vector<ShownMessage>{{"Browser web fail", "Error", MessageIcon::Error}}));
    EXPECT_TRUE(catcher.opened.empty());
}

} // namespace

#include "test_web_access.moc"
