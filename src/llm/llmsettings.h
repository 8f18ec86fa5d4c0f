#pragma once

// The settings the LLM runtime keeps in the defaults store.

#include "core/settingkey.h"

namespace velmora {

// The language-model server program to start (also the launch argument -llmServerPath PATH);
// empty: the one installed beside Velmora.
inline const SettingKey<QString> kLLMServerPath{QStringLiteral("llmServerPath"), QString()};

} // namespace velmora
