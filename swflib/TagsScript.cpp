// Script and asset tags: action blocks, and the characters a movie exports or imports by name.
#include "Actions.h"
#include "Records.h"
#include "SWFStream.h"
#include "Tags.h"
#include "TagsCommon.h"

// An action block that stopped before its End action, with bytes after it, cannot be written back through its
// actions (the bytes would read as actions the next time): the tag then keeps its body whole.
int ReadActionBlock(CActionsItem& actions, CSWFStream* body)
{
    const int ok = actions.ReadSWF(body);
    return ok && !(actions.m_TerminatorMissing && body->GetDataRest() != 0) ? 1 : 0;
}

// ---- CDoActionTag ----

CDoActionTag::CDoActionTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pActions(std::make_unique<CActionsItem>(owner, kStyleNone))
{ }

CDoActionTag::~CDoActionTag() = default;

void CDoActionTag::SetActions(const CActionsItem* actions)
{
    SetPart(actions, m_pOwner, kStyleNone, m_pActions);
}

int CDoActionTag::ReadBody(CSWFStream* body)
{
    return ReadActionBlock(*m_pActions, body);
}

int CDoActionTag::WriteBody(CSWFStream* body)
{
    return m_pActions->WriteSWF(body);
}

int CDoActionTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDoActionTag>(dest);
    return copy && CopyOwned(m_pActions.get(), owner, kStyleNone, copy->m_pActions) ? 1 : 0;
}

void CDoActionTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Child("actions", m_pActions.get());
}

// ---- CDoInitActionsTag ----

CDoInitActionsTag::CDoInitActionsTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pActions(std::make_unique<CActionsItem>(owner, kStyleNone))
{ }

CDoInitActionsTag::~CDoInitActionsTag() = default;

void CDoInitActionsTag::SetActions(const CActionsItem* actions)
{
    SetPart(actions, m_pOwner, kStyleNone, m_pActions);
}

int CDoInitActionsTag::ReadBody(CSWFStream* body)
{
    return body->ReadU16(&m_ID) && ReadActionBlock(*m_pActions, body) ? 1 : 0;
}

int CDoInitActionsTag::WriteBody(CSWFStream* body)
{
    return body->WriteU16(m_ID) && m_pActions->WriteSWF(body) ? 1 : 0;
}

int CDoInitActionsTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CDoInitActionsTag>(dest);
    if (!copy)
        return 0;
    copy->m_ID = m_ID;
    return CopyOwned(m_pActions.get(), owner, kStyleNone, copy->m_pActions);
}

void CDoInitActionsTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Int("id", m_ID);
    visitor.Child("actions", m_pActions.get());
}

// ---- CAssetTag ----

CAssetTag::CAssetTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pAssets(std::make_unique<CAssetsItem>(owner, kStyleNone))
{ }

CAssetTag::~CAssetTag() = default;

int CAssetTag::ReadBody(CSWFStream* body)
{
    return m_pAssets->ReadSWF(body);
}

int CAssetTag::WriteBody(CSWFStream* body)
{
    return m_pAssets->WriteSWF(body);
}

int CAssetTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CAssetTag>(dest);
    return copy && CopyOwned(m_pAssets.get(), owner, kStyleNone, copy->m_pAssets) ? 1 : 0;
}

void CAssetTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Child("assets", m_pAssets.get());
}

// ---- CImportAssetsTag ----

CImportAssetsTag::CImportAssetsTag(CSWFObject* owner, unsigned char style)
    : CParsedTag(owner, style)
    , m_pURL(std::make_unique<C0TrmStringItem>(owner, kStyleNone))
    , m_pAssets(std::make_unique<CAssetsItem>(owner, kStyleNone))
{ }

CImportAssetsTag::~CImportAssetsTag() = default;

int CImportAssetsTag::ReadBody(CSWFStream* body)
{
    return m_pURL->ReadSWF(body) && m_pAssets->ReadSWF(body) ? 1 : 0;
}

int CImportAssetsTag::WriteBody(CSWFStream* body)
{
    return m_pURL->WriteSWF(body) && m_pAssets->WriteSWF(body) ? 1 : 0;
}

int CImportAssetsTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CParsedTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CImportAssetsTag>(dest);
    return copy && CopyOwned(m_pURL.get(), owner, kStyleNone, copy->m_pURL)
            && CopyOwned(m_pAssets.get(), owner, kStyleNone, copy->m_pAssets)
        ? 1
        : 0;
}

void CImportAssetsTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CParsedTag::DescribeFields(visitor);
    visitor.Child("url", m_pURL.get());
    visitor.Child("assets", m_pAssets.get());
}
