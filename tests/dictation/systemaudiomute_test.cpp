// Muting the output for a recording: only an output this muted is ever unmuted, and an output
// left muted by a killed run is given back at the next launch.

#include "dictation/systemaudiomute.h"

#include "core/defaults.h"
#include "platform/audiooutputcontrol.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace velmora;

namespace {

struct Scene {
    const char *name;
    // Plays the user and the sound server between the mute and the restore.
    std::function<void(FakeAudioOutputControl &)> before = {}, during = {};
    QStringList writes = {};
    bool speakersMutedAfter = false;
};
void PrintTo(const Scene &s, std::ostream *os) {
    *os << s.name;
}

const Scene kScenes[] = {
    {"an unmuted output is muted and given back", {}, {}, {"speakers=1", "speakers=0"}},
    {"an output the user muted is left alone",
     [](FakeAudioOutputControl &o) { o.devices["speakers"].muted = true; },
     {},
     {},
     true},
    {"an output without a mute control is left alone",
     [](FakeAudioOutputControl &o) { o.devices["speakers"].hasMute = false; },
     {},
     {}},
    {"no sound server", [](FakeAudioOutputControl &o) { o.reachable = false; }, {}, {}},
    {"no default output", [](FakeAudioOutputControl &o) { o.defaultDevice.clear(); }, {}, {}},
    // Each mute asks again; none is answered with an unmute.
    {"a refused mute is not undone",
     [](FakeAudioOutputControl &o) { o.refusesWrites = true; },
     {},
     {"speakers=1", "speakers=1"}},
    {"headphones plugged in meanwhile: the speakers come back, the headphones are not touched",
     {},
     [](FakeAudioOutputControl &o) {
         o.devices["headphones"] = {};
         o.defaultDevice = QStringLiteral("headphones");
     },
     {"speakers=1", "speakers=0"}},
    {"the user unmuted meanwhile: still set unmuted at the end",
     {},
     [](FakeAudioOutputControl &o) { o.devices["speakers"].muted = false; },
     {"speakers=1", "speakers=0"}},
};

class SystemAudioMuteScene : public ::testing::TestWithParam<Scene> {};

TEST_P(SystemAudioMuteScene, TouchesOnlyWhatItMuted) {
    const Scene &s = GetParam();
    FakeAudioOutputControl output;
    output.devices["speakers"] = {};
    output.defaultDevice = QStringLiteral("speakers");
    if (s.before)
        s.before(output);
    Defaults defaults{QString()};
    SystemAudioMute mute(output, defaults);
    mute.muteOutput();
    // A second mute during the same recording changes nothing.
    mute.muteOutput();
    if (s.during)
        s.during(output);
    mute.restoreOutput();
    mute.restoreOutput();
    EXPECT_EQ(output.writes, s.writes);
    EXPECT_EQ(output.devices["speakers"].muted, s.speakersMutedAfter);
    EXPECT_FALSE(output.devices.count("headphones") && output.devices["headphones"].muted);
    EXPECT_FALSE(mute.mutedDevice());
    EXPECT_FALSE(defaults.contains(QStringLiteral("mutedOutputDevice")));
}

INSTANTIATE_TEST_SUITE_P(Scenes, SystemAudioMuteScene, ::testing::ValuesIn(kScenes), [](const auto &info) {
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name.substr(0, 60);
});

TEST(SystemAudioMute, AnOutputLeftMutedByAKilledRunIsUnmutedAtTheNextLaunch) {
    QTemporaryDir home;
    const QString file = home.filePath(QStringLiteral("defaults.json"));
    FakeAudioOutputControl output;
    output.devices["speakers"] = {};
    output.defaultDevice = QStringLiteral("speakers");
    {
        // The note must be on disk the moment the output is muted, before any timer runs.
        Defaults defaults(file);
        SystemAudioMute mute(output, defaults);
        mute.muteOutput();
        ASSERT_TRUE(output.devices["speakers"].muted);
        Defaults onDisk(file);
        EXPECT_EQ(onDisk.string(QStringLiteral("mutedOutputDevice")), QStringLiteral("speakers"));
    }
    // The process died here with the speakers muted; the next launch has no sound server yet.
    output.reachable = false;
    {
        Defaults defaults(file);
        SystemAudioMute mute(output, defaults);
        EXPECT_TRUE(output.devices["speakers"].muted);
        EXPECT_EQ(defaults.string(QStringLiteral("mutedOutputDevice")), QStringLiteral("speakers"));
    }
    // The launch after that can reach it.
    output.reachable = true;
    output.writes.clear();
    {
        Defaults defaults(file);
        SystemAudioMute mute(output, defaults);
        EXPECT_FALSE(output.devices["speakers"].muted);
        EXPECT_EQ(output.writes, QStringList{"speakers=0"});
        EXPECT_FALSE(defaults.contains(QStringLiteral("mutedOutputDevice")));
    }
    EXPECT_FALSE(Defaults(file).contains(QStringLiteral("mutedOutputDevice")));
}

TEST(SystemAudioMute, AnUnmuteTheServerRefusedIsTriedAgainAtTheNextRecording) {
    FakeAudioOutputControl output;
    output.devices["speakers"] = {};
    output.defaultDevice = QStringLiteral("speakers");
    Defaults defaults{QString()};
    SystemAudioMute mute(output, defaults);
    mute.muteOutput();
    output.refusesWrites = true;
    mute.restoreOutput();
    EXPECT_TRUE(output.devices["speakers"].muted);
    output.refusesWrites = false;
    // The next recording first gives the sound back, then mutes it for itself.
    mute.muteOutput();
    mute.restoreOutput();
    EXPECT_FALSE(output.devices["speakers"].muted);
    EXPECT_FALSE(defaults.contains(QStringLiteral("mutedOutputDevice")));
}

} // namespace
