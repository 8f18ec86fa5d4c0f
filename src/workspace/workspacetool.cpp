#include "workspace/workspacetool.h"

#include "workspace/workspacetext.h"

#include <array>

namespace velmora {

namespace {

struct ToolInfo {
    const char *raw;
    WorkspaceText name;
    WorkspaceText summary;
    const char *symbol;
};

// Indexed by catalogue order.
const std::array<ToolInfo, 12> kTools = {{
    {"dictation", QT_TRANSLATE_NOOP3("Workspace", "Dictation", "Tool name"),
     QT_TRANSLATE_NOOP3("Workspace", "Type with your voice in any app.", "Tool description"), "mic"},
    {"voiceCompose", QT_TRANSLATE_NOOP3("Workspace", "Voice Compose", "Tool name"),
     QT_TRANSLATE_NOOP3("Workspace", "Speak and get an email, bullet points, or clean text.", "Tool description"),
     "text.bubble"},
    {"transcribeFile",
     QT_TRANSLATE_NOOP3("Workspace", "Transcribe File",
                        "Tool name: turns the speech in an audio or video file into text"),
     QT_TRANSLATE_NOOP3("Workspace", "Transcribe audio and video files.", "Tool description"), "waveform"},
    {"recordMeeting", QT_TRANSLATE_NOOP3("Workspace", "Record Meeting", "Tool name"),
     QT_TRANSLATE_NOOP3("Workspace", "Record and transcribe meetings.", "Tool description"), "person.2"},
    {"meetingMinutes", QT_TRANSLATE_NOOP3("Workspace", "Meeting Minutes", "Tool name"),
     QT_TRANSLATE_NOOP3("Workspace", "Bilingual minutes from a meeting transcript.", "Tool description"),
     "list.bullet.rectangle"},
    {"actionItems",
     QT_TRANSLATE_NOOP3("Workspace", "Action Items", "Tool name: the tasks and their owners agreed in a meeting"),
     QT_TRANSLATE_NOOP3("Workspace", "Action items and owners from a meeting.", "Tool description"), "checklist"},
    {"translate", QT_TRANSLATE_NOOP3("Workspace", "Translate", "Tool name"),
     QT_TRANSLATE_NOOP3("Workspace", "Translate between Japanese and English.", "Tool description"),
     "character.bubble"},
    {"summarize", QT_TRANSLATE_NOOP3("Workspace", "Summarize", "Tool name"),
     QT_TRANSLATE_NOOP3("Workspace", "Key points from any text.", "Tool description"), "text.line.3.summary"},
    {"redact", QT_TRANSLATE_NOOP3("Workspace", "Redact", "Tool name: hides personal and sensitive data in a text"),
     QT_TRANSLATE_NOOP3("Workspace", "Hide personal and sensitive data.", "Tool description"), "eye.slash"},
    {"extractText", QT_TRANSLATE_NOOP3("Workspace", "OCR", "Tool name: text recognition from images"),
     QT_TRANSLATE_NOOP3("Workspace", "Text from images and scanned PDFs.", "Tool description"), "doc.text.viewfinder"},
    {"proofread", QT_TRANSLATE_NOOP3("Workspace", "Proofread", "Tool name: fixes typos and grammar in a text"),
     QT_TRANSLATE_NOOP3("Workspace", "Fix typos and grammar in English or Japanese.", "Tool description"),
     "text.badge.checkmark"},
    {"humanize",
     QT_TRANSLATE_NOOP3("Workspace", "Humanize", "Tool name: rewrites machine-written text so it sounds natural"),
     QT_TRANSLATE_NOOP3("Workspace", "Make AI-written text sound natural.", "Tool description"), "person.wave.2"},
}};

const ToolInfo &info(WorkspaceTool tool) {
    return kTools.at(std::size_t(tool));
}

} // namespace

const QList<WorkspaceTool> &allTools() {
    static const QList<WorkspaceTool> tools = [] {
        QList<WorkspaceTool> list;
        for (std::size_t i = 0; i < kTools.size(); ++i)
            list.append(WorkspaceTool(i));
        return list;
    }();
    return tools;
}

QString toString(WorkspaceTool tool) {
    return QString::fromLatin1(info(tool).raw);
}

std::optional<WorkspaceTool> workspaceToolFromString(const QString &raw) {
    for (std::size_t i = 0; i < kTools.size(); ++i) {
        if (raw == QLatin1String(kTools[i].raw))
            return WorkspaceTool(i);
    }
    return std::nullopt;
}

QString toolName(WorkspaceTool tool) {
    return info(tool).name.translated();
}

QString toolSummary(WorkspaceTool tool) {
    return info(tool).summary.translated();
}

QString toolSymbol(WorkspaceTool tool) {
    return QString::fromLatin1(info(tool).symbol);
}

} // namespace velmora
