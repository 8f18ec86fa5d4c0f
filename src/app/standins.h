#pragma once

#include "models/localmodels.h"

#include <QString>

namespace velmora {

class Defaults;
struct AppPlatform;

// The stand-ins that let Velmora run end to end on a machine without a speech engine, a
// language-model server, model files or a microphone: the helper programs built beside the
// application, small model files served by the stand-in model hub (helpers/model-hub), and a
// sound file played as the microphone. Each is used only until a real one is configured.
namespace StandIns {

inline constexpr const char *kModelSet = "standIn";

// Whether the launch settings pick the stand-in model files.
bool usesStandInModels(const Defaults &defaults);
// The model setup: the stand-in files (in their own folders, so they never mix with real
// models) when picked, otherwise the real ones.
LocalModels::Setup modelSetup(const Defaults &defaults);
std::vector<ModelManifest> speechManifests(const QUrl &hub);
std::vector<ModelManifest> textManifests(const QUrl &hub);

// The stand-ins in use, as the start-up log line lists them; empty when there are none.
QStringList inUse(const Defaults &defaults, const AppPlatform &platform);
// Writes the one start-up line that says which stand-ins run.
void logInUse(const Defaults &defaults, const AppPlatform &platform);

} // namespace StandIns
} // namespace velmora
