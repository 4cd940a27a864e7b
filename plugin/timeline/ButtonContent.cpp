// The children of a button: the characters its records show in the state it is in, made display objects of
// their own so that sprites among them play their timelines, run their scripts and are drawn like any clip's
// children. A change of state keeps what stays at a depth with the same character and makes the rest anew.
#include "timeline/MoviePlayer.h"

#include "render/Filters.h"

#include "Records.h"
#include "TagCodes.h"
#include "Tags.h"

namespace reelfinch::plugin {

namespace {

const CButtonRecordsItem* RecordsOf(const CTag* tag)
{
    if (auto* b1 = dynamic_cast<const CDefineButtonTag*>(tag))
        return b1->m_pCharacters.get();
    if (auto* b2 = dynamic_cast<const CDefineButton2Tag*>(tag))
        return b2->m_pCharacters.get();
    return nullptr;
}

bool InState(const CButtonRecord& record, int state)
{
    return state == kButtonDown ? record.m_StateDown : state == kButtonOver ? record.m_StateOver : record.m_StateUp;
}

cairo_matrix_t MatrixOf(const CMatrixItem* m)
{
    cairo_matrix_t matrix { 1, 0, 0, 1, 0, 0 };
    if (m)
        cairo_matrix_init(
            &matrix, m->m_ScaleX, m->m_RotateSkew0, m->m_RotateSkew1, m->m_ScaleY, m->m_TranslateX, m->m_TranslateY);
    return matrix;
}

} // namespace

void MoviePlayer::syncButtonContent(SpriteInstance& parent, DisplayObject& button, bool begin)
{
    const CTag* tag = character(parent, button.characterId);
    const CButtonRecordsItem* records = tag ? RecordsOf(tag) : nullptr;
    if (!records || parent.nesting >= kMaxSpriteNesting) {
        button.buttonContent.reset();
        button.contentState = -1;
        return;
    }
    if (button.buttonContent && button.contentState == button.buttonState) {
        button.buttonContent->display = &button;
        return;
    }
    if (!button.buttonContent) {
        static const Timeline kNoFrames {};
        auto content = std::make_unique<SpriteInstance>();
        content->library = parent.library;
        content->timeline = &kNoFrames;
        content->currentFrame = 0;
        content->nesting = parent.nesting + 1;
        content->serial = m_NextSerial++;
        content->symbolId = button.characterId;
        content->buttonContent = true;
        button.buttonContent = std::move(content);
    }
    SpriteInstance& content = *button.buttonContent;
    content.parent = &parent;
    content.display = &button;
    button.contentState = button.buttonState;

    // What the state shows, by depth (the first record at a depth takes it).
    std::map<int32_t, const CButtonRecord*> wanted;
    for (int i = 0; i < records->GetItemCount(); ++i) {
        auto* record = dynamic_cast<const CButtonRecord*>(records->GetItem(i));
        if (record && InState(*record, button.buttonState))
            wanted.emplace(int32_t(record->m_PlaceDepth), record);
    }
    // Characters that leave go first (sprites hear their unload), then the new ones are made in depth order.
    for (auto it = content.displayList.begin(); it != content.displayList.end();) {
        auto found = wanted.find(it->first);
        auto next = std::next(it);
        if (found == wanted.end() || found->second->m_CharacterID != it->second.characterId)
            removeAt(content, it);
        it = next;
    }
    for (const auto& [depth, record] : wanted) {
        auto [it, made] = content.displayList.try_emplace(depth);
        DisplayObject& object = it->second;
        object.matrix = MatrixOf(record->m_pMatrix.get());
        object.colorTransform = ColorTransform::fromItem(record->m_pColorTransform.get());
        object.blendMode = record->m_HasBlendMode ? record->m_BlendMode : 0;
        object.filters = FiltersFrom(record->m_pFilterList.get());
        if (!made)
            continue;
        object.characterId = record->m_CharacterID;
        object.depth = depth;
        object.placedFrame = 0;
        startSprite(content, object);
        if (object.sprite && begin)
            beginSprite(*object.sprite, true);
    }
}

} // namespace reelfinch::plugin
