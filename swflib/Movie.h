// CSWF: a whole movie as an object tree, the file header and the top-level tag list. Opens a movie file, saves
// it back (compressed again the way it was read) and copies itself.
#pragma once

#include "Collections.h"
#include "HeaderItems.h"
#include "SWFObject.h"

#include <memory>

class CSWF : public CSWFObject
{
public:
    CSWF(CSWFObject* owner = nullptr, unsigned char style = kStyleDefault);
    ~CSWF() override;
    int GetClassID() const override { return kClassID_CSWF; }
    int ReadSWF(CSWFStream* stream) override;
    int WriteSWF(CSWFStream* stream) override;
    int MakeCopy(CSWFObject* owner, unsigned char style, CSWFObject*& dest) const override;
    void DescribeFields(CSWFFieldVisitor& visitor) const override;

    int OpenSWF(const char* path);
    int SaveSWF(const char* path);
    void SetHeader(const CHeaderItem* header);
    void SetTags(const CTagsItem* tags);

    CHeaderItem* GetHeader() const { return m_pHeader.get(); }
    CTagsItem* GetTags() const { return m_pTags.get(); }

    std::unique_ptr<CHeaderItem> m_pHeader;
    std::unique_ptr<CTagsItem> m_pTags;
    // Bytes the file held after its tag list (after the End tag, or a last tag that runs past the data), written
    // back after the list; null when there were none.
    std::unique_ptr<CDumpItem> m_pTrailing;
};
