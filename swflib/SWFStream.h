// CSWFStream: the byte-and-bit buffer through which the library reads and writes all SWF data. Bit fields are
// packed from the most significant bit of each byte down; multi-byte integers are little-endian. Reading a tag
// or action hands its body out as a second stream that views the parent's bytes without owning them.
#pragma once

#include "LowCoreObject.h"

#include <cstdint>
#include <cstdio>

// SWF tag header: 10-bit code and 6-bit length; a length of 0x3F announces a 32-bit length that follows.
inline constexpr uint16_t kTagShortLengthMask = 0x3F;
inline constexpr uint32_t kTagLongLengthMarker = 0x3F;
inline constexpr uint32_t kTagShortMaxBody = 62;
// Actions with a code of 0x80 or above carry a 16-bit length.
inline constexpr uint8_t kActionHasLength = 0x80;

class CSWFStream : public CLowCoreObject
{
public:
    CSWFStream() = default;
    CSWFStream(const CSWFStream&) = delete;
    CSWFStream& operator=(const CSWFStream&) = delete;
    ~CSWFStream() override;

    int GetClassID() const override { return kClassID_CSWFStream; }
    virtual int LoadFromFile(const char* path);
    virtual int SaveToFile(const char* path);
    virtual int LoadFromFile(FILE* file);
    virtual int SaveToFile(FILE* file);
    virtual int MakeCopy(CSWFStream*& dest) const;

    // Buffer, size and position.
    int Assign(void* data, unsigned long size);
    void SetAutoDispose(bool autoDispose);
    int SetMemorySize(unsigned long n);
    void PSetSize(unsigned long n);
    int SetSize(unsigned long n);
    void SetPosition(unsigned long p);
    int32_t GetDataRest() const;
    void SetBit(unsigned char b);
    void FlushBits();

    uint32_t GetSize() const { return m_Size; }
    uint32_t GetPosition() const { return m_Position; }
    uint32_t GetMemorySize() const { return m_MemorySize; }
    unsigned char GetBit() const { return Empty() ? 8 : m_Bit; }
    int32_t GetDataLow() const { return m_DataLow; }
    bool GetAutoDispose() const { return m_AutoDispose; }
    const uint8_t* GetBuffer() const { return m_pBuffer; }
    uint8_t* GetBuffer() { return m_pBuffer; }

    // Bit fields (0 to 32 bits).
    int ReadBits(uint32_t* out, unsigned char n);
    uint32_t GetU(unsigned char n);
    int WriteBits(uint32_t value, unsigned char n);
    int ReadS(int32_t* out, unsigned char n);
    int32_t GetS(unsigned char n);
    int ReadBool(bool* out);
    bool GetBool();

    // Integers; none aligns to a byte first.
    int ReadU8(uint8_t* out);
    uint8_t GetU8();
    int WriteU8(uint8_t v);
    int ReadS8(int8_t* out);
    int8_t GetS8();
    int ReadU16(uint16_t* out);
    uint16_t GetU16();
    int WriteU16(uint16_t v);
    int ReadS16(int16_t* out);
    int16_t GetS16();
    int WriteS16(int16_t v);
    int ReadU32(uint32_t* out);
    uint32_t GetU32();
    int WriteU32(uint32_t v);
    int ReadS32(int32_t* out);
    int32_t GetS32();
    int WriteS32(int32_t v);

    // Numbers with a fraction.
    int ReadFloat88(float* out);
    float GetFloat88();
    int WriteFloat88(float v);
    int ReadFloat1616(float* out);
    float GetFloat1616();
    int WriteFloat1616(float v);
    int ReadFloat(float* out, unsigned char n);
    float GetFloat(unsigned char n);

    // Blocks, streams and files.
    int ReadBuf(void* dest, unsigned long n);
    int WriteBuf(const void* src, unsigned long n);
    int ReadStream(CSWFStream* dest, unsigned long n);
    int WriteStream(CSWFStream* src, unsigned long n);
    int WriteFile(FILE* file, unsigned long n);
    int ReadFile(FILE* file, unsigned long n);

    // SWF record headers.
    int GetNexTag(unsigned short* code, bool* longHeader, CSWFStream* body);
    int AppendTag(unsigned short code, bool longHeader, CSWFStream* body);
    int GetNextAction(unsigned char* code, CSWFStream* body);
    int AppendAction(unsigned char code, CSWFStream* body);

    // Editing.
    int Insert(long n);
    // Takes over `data` (from malloc, `capacity` bytes, the first `size` of them valid) as this owning stream's
    // buffer; position and bit cursor stay. Returns 0 and takes nothing from a stream that does not own its
    // buffer. Decompression builds the whole new movie in one buffer and hands it over without another copy.
    int AdoptBuffer(uint8_t* data, unsigned long size, unsigned long capacity);

    uint8_t* m_pBuffer = nullptr;
    uint32_t m_Position = 0;
    uint32_t m_Size = 0;
    uint32_t m_MemorySize = 0;
    int32_t m_DataLow = 0;
    bool m_AutoDispose = true;
    uint8_t m_Bit = 8;

private:
    bool Empty() const { return !m_pBuffer || m_Size == 0; }
    // Makes the size at least n for a write, reserving capacity ahead so that appending stays linear.
    bool GrowForWrite(uint64_t n);
    void NoteShortfall(uint64_t end);
    void AdvanceBits(unsigned char n, unsigned char b);
};

// Free helpers over raw bytes: n bits starting in the low bitsLeft bits of the first byte.
uint32_t SReadBits(const void* bytes, long bitsLeft, long n);
void SWriteBits(void* bytes, uint32_t value, long bitsLeft, long n);
unsigned char ReadByte(unsigned char byte, unsigned char bitsLeft, unsigned char n);
unsigned long GetFileSize(FILE* file);
