#include "Tags.h"

#include "FactoryFamilies.h"
#include "SWFStream.h"

CSetBackGroundColorTag::CSetBackGroundColorTag(CSWFObject* owner, unsigned char style)
    : CTag(owner, style), m_pColor(std::make_unique<CColorItem>(owner, kStyleNone))
{
}

int CSetBackGroundColorTag::ReadSWF(CSWFStream* stream)
{
    // The background is always opaque RGB.
    m_pColor->m_HasAlpha = false;
    return m_pColor->ReadSWF(stream);
}

int CSetBackGroundColorTag::WriteSWF(CSWFStream* stream)
{
    m_pColor->m_HasAlpha = false;
    return m_pColor->WriteSWF(stream);
}

int CSetBackGroundColorTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CTag::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CSetBackGroundColorTag>(dest);
    return copy && CopyOwned(m_pColor.get(), owner, kStyleNone, copy->m_pColor) ? 1 : 0;
}

void CSetBackGroundColorTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CTag::DescribeFields(visitor);
    visitor.Child("color", m_pColor.get());
}

CSWFObject* NewTagObject(int classID, CSWFObject* owner, unsigned char style)
{
    switch (classID) {
    case kClassID_CSetBackGroundColorTag:
        return new CSetBackGroundColorTag(owner, style);
    default:
        return nullptr;
    }
}
