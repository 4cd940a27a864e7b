// Tag classes: one class per SWF tag code.
#pragma once

#include "HeaderItems.h"
#include "SWFObject.h"

#include <memory>

class CSetBackGroundColorTag : public CTag
{
public:
    CSetBackGroundColorTag(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    int GetClassID() const override { return kClassID_CSetBackGroundColorTag; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    std::unique_ptr<CColorItem> m_pColor;
};
