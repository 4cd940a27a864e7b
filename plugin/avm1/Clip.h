// Movie clips as script objects. A sprite instance of the timeline owns a handle; the handle's link names the
// instance while it lives and is cut when the instance goes, so that a script keeping a clip finds it gone
// instead of reading freed memory.
#pragma once

#include "avm1/Object.h"

#include <memory>
#include <string>

namespace reelfinch::plugin {
struct SpriteInstance;
struct EditField;
}

namespace reelfinch::avm1 {

class ClipObject;

struct ClipLink {
    plugin::SpriteInstance* sprite = nullptr;
    ClipObject* object = nullptr; // made when a script first needs it
    // The clip's target path ("_level0.a.b") as it was when its script object was made (or, without one, when
    // it was taken off the stage): once it is gone, a reference kept by a script stands for whatever clip has
    // that path.
    std::string path;
};

// A member of each sprite instance. Copies are not made; a moved-to instance starts without a script object.
class ClipHandle
{
public:
    ClipHandle() = default;
    ClipHandle(const ClipHandle&) = delete;
    ClipHandle(ClipHandle&&) noexcept { }
    ClipHandle& operator=(const ClipHandle&) = delete;
    ClipHandle& operator=(ClipHandle&&) noexcept
    {
        detach();
        return *this;
    }
    ~ClipHandle() { detach(); }
    void detach()
    {
        if (m_Link)
            m_Link->sprite = nullptr;
        m_Link.reset();
    }
    std::shared_ptr<ClipLink> m_Link;
};

class ClipObject final : public Object
{
public:
    ClipObject(Object* proto, std::shared_ptr<ClipLink> link)
        : Object(proto, ObjectKind::Clip)
        , m_Link(std::move(link))
    {
    }
    plugin::SpriteInstance* sprite() const { return m_Link ? m_Link->sprite : nullptr; }
    std::shared_ptr<ClipLink> m_Link;
};

// A text field's tie to its script object: the field while it lives, and the clip holding it while that lives.
struct FieldLink {
    plugin::EditField* field = nullptr;
    std::shared_ptr<ClipLink> holder; // the link of the clip holding the field, cut when that clip goes
    plugin::SpriteInstance* parent() const { return field && holder ? holder->sprite : nullptr; }
    Object* object = nullptr; // made when a script first needs it
    std::string lastPath; // its target path when it last had the focus
};

// A button's tie to its script object. The button is found through the clip holding it (by this link's
// identity in that clip's display list), so a button taken off the stage reads as gone.
struct ButtonLink {
    std::shared_ptr<ClipLink> holder; // the link of the clip whose display list holds the button
    Object* object = nullptr; // made when a script first needs it
    std::string lastPath; // its target path when a script last asked for it
};

} // namespace reelfinch::avm1
