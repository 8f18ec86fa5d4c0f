#pragma once

#include "core/error.h"

namespace velmora {

// The one failure of the language-model runtime; features turn it into their own texts.
class LLMServerError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.LLMServerError";

    // The code of each case is its position, so log lines read "Velmora.LLMServerError 2".
    enum class Kind { Http, Unavailable, Exited, Timeout, ProtocolViolation };

    explicit LLMServerError(Kind kind, int status = 0);

    static LLMServerError http(int status) { return LLMServerError(Kind::Http, status); }
    static LLMServerError unavailable() { return LLMServerError(Kind::Unavailable); }
    static LLMServerError exited() { return LLMServerError(Kind::Exited); }
    static LLMServerError timeout() { return LLMServerError(Kind::Timeout); }
    static LLMServerError protocolViolation() { return LLMServerError(Kind::ProtocolViolation); }

    Kind kind() const { return m_kind; }
    // The HTTP status of an http failure; 0 otherwise.
    int status() const { return m_status; }

    friend bool operator==(const LLMServerError &a, const LLMServerError &b) {
        return a.m_kind == b.m_kind && a.m_status == b.m_status;
    }

private:
    Kind m_kind;
    int m_status;
};

} // namespace velmora
