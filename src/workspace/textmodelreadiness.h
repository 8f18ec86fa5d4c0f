#pragma once

namespace velmora {

class ModelStore;

// Whether the writing model's files are ready to use, asked by the text hand-off.
class TextModelReadiness {
public:
    virtual ~TextModelReadiness() = default;
    virtual bool isReady() = 0;
};

// The writing model's store: ready when it hands out its file paths.
class ModelStoreReadiness : public TextModelReadiness {
public:
    explicit ModelStoreReadiness(ModelStore &store) : m_store(store) {}
    bool isReady() override;

private:
    ModelStore &m_store;
};

} // namespace velmora
