#include "SWFObject.h"

#include "SWFDebugger.h"
#include "SWFStream.h"

int CSWFObject::ReadSWF(CSWFStream*)
{
    return 1;
}

int CSWFObject::WriteSWF(CSWFStream*)
{
    return 1;
}

int CSWFObject::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    delete dest;
    dest = nullptr;
    if (!NewInstance(GetClassID(), dest, owner, style)) {
        SWFDebugger.AddString(std::string("Error: Can't create instance of class ") + GetClassName());
        return 0;
    }
    return 1;
}

int CSWFItem::ReadSWF(CSWFStream* stream)
{
    return stream && stream->GetDataRest() >= 0 && stream->m_DataLow == 0 ? 1 : 0;
}

int CSWFItem::WriteSWF(CSWFStream* stream)
{
    return stream && stream->m_DataLow == 0 ? 1 : 0;
}

int CTag::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CTag>(dest);
    if (!copy)
        return 0;
    copy->m_LongHeader = m_LongHeader;
    copy->m_TagCode = m_TagCode;
    return 1;
}

int CAction::MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const
{
    if (dest == this)
        return 1;
    if (!CSWFItem::MakeCopy(owner, style, dest))
        return 0;
    auto* copy = CopyTarget<CAction>(dest);
    if (!copy)
        return 0;
    copy->m_ActionCode = m_ActionCode;
    return 1;
}

void CSWFObject::DescribeFields(CSWFFieldVisitor& visitor) const
{
    visitor.Int("style", m_Style);
}

void CTag::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("code", m_TagCode);
    visitor.Int("longHeader", m_LongHeader);
}

void CAction::DescribeFields(CSWFFieldVisitor& visitor) const
{
    CSWFItem::DescribeFields(visitor);
    visitor.Int("code", m_ActionCode);
}
