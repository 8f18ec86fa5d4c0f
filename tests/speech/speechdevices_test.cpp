#include "speech/fakespeechcapturesource.h"
#include "speech/speechdevices.h"
#include "support/testsupport.h"

#include <QSignalSpy>

using namespace velmora;

namespace {

const SpeechDevice kBuiltIn{QStringLiteral("built-in"), QStringLiteral("Microphone")};
const SpeechDevice kUsbA{QStringLiteral("usb-a"), QStringLiteral("USB Audio")};
const SpeechDevice kUsbB{QStringLiteral("usb-b"), QStringLiteral("USB Audio")};

TEST(SpeechDevicesTest, ListsDevicesInDiscoveryOrderKeepingEqualNames) {
    FakeSpeechCaptureSource source;
    source.setDevices({kUsbB, kBuiltIn, kUsbA}, kBuiltIn.id);
    SpeechDevices devices(source);
    EXPECT_EQ(devices.devices(), (std::vector<SpeechDevice>{kUsbB, kBuiltIn, kUsbA}));
}

// Plugging in and pulling out update the list without any call; a refresh that finds the
// same devices publishes nothing.
TEST(SpeechDevicesTest, FollowsConnectAndDisconnect) {
    FakeSpeechCaptureSource source;
    source.setDevices({kBuiltIn}, kBuiltIn.id);
    SpeechDevices devices(source);
    QSignalSpy changed(&devices, &SpeechDevices::devicesChanged);

    source.connectDevice(kUsbA);
    ASSERT_TRUE(test::waitUntil([&] { return changed.count() == 1; }));
    EXPECT_EQ(devices.devices(), (std::vector<SpeechDevice>{kBuiltIn, kUsbA}));

    source.disconnectDevice(kBuiltIn.id);
    ASSERT_TRUE(test::waitUntil([&] { return changed.count() == 2; }));
    EXPECT_EQ(devices.devices(), (std::vector<SpeechDevice>{kUsbA}));

    devices.refresh();
    emit source.deviceConnected(kUsbA.id);
    test::spin(std::chrono::milliseconds(50));
    EXPECT_EQ(changed.count(), 2);
}

} // namespace
