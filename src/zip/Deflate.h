#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zip {

// Where the compressor pulls its bytes from. Read returns 0 only at the end.
class TDeflateInput {
 public:
  virtual ~TDeflateInput() = default;
  virtual size_t Read(uint8_t* buffer, size_t size) = 0;
};

// Where the compressed bytes go. A sink that cannot take them all throws.
class TDeflateOutput {
 public:
  virtual ~TDeflateOutput() = default;
  virtual void Write(const uint8_t* data, size_t size) = 0;
};

// Raw deflate streams (no header, no checksum) at levels 1 to 9. One object
// owns every work buffer, so a writing run allocates them once and reuses
// them for each file.
class TDeflater {
 public:
  TDeflater();
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  // Compresses the input from where it stands to its end as one complete
  // stream; returns the number of compressed bytes written.
  uint64_t Deflate(int level, TDeflateInput& input, TDeflateOutput& output);

  // 0 binary, 1 text, 2 undecided (no block flushed yet), from the literal
  // statistics of the first block of the last stream.
  uint16_t InternalAttributes() const { return internalAttributes_; }

  // General purpose flag bits that announce the level inside a zip entry.
  static uint16_t FlagBitsForLevel(int level);

 private:
  struct TLevel {
    uint16_t good;   // a previous match this long quarters the chain search
    uint16_t lazy;   // lazy levels: no second search after a match this long;
                     // fast levels: longest match whose strings are all hashed
    uint16_t nice;   // stop searching at a match this long
    uint16_t chain;  // most hash chain links followed per search
    bool lazyEval;
  };

  // The symbols of a stretch of the pending block, counted per code.
  struct TSymbolCounts {
    uint32_t lit[286];
    uint32_t dist[30];
    unsigned bytes;  // input bytes the symbols stand for
    void Add(const TSymbolCounts& other);
  };
  struct TBlockPlan;

  void Reset(int level);
  void FillWindow();
  // The longest match at `str` along the hash chain from `curMatch`, no longer than
  // the lookahead. Only one longer than `prevLength` sets `start`; without one the
  // result is `prevLength`.
  unsigned LongestMatch(unsigned curMatch, unsigned str, unsigned prevLength, unsigned lookahead,
                        unsigned& start) const;
  void CompressFast();
  void CompressLazy();

  void FlushBlock(bool last);
  void PlanBlock(const TSymbolCounts& counts, TBlockPlan& plan) const;
  void SendRange(unsigned first, unsigned end, long start, const TSymbolCounts& counts, const TBlockPlan& plan,
                 bool last);
  void SendBlock(unsigned from, unsigned to, long start, const TSymbolCounts& counts, const TBlockPlan& plan,
                 bool last);

  void SendStoredBlock(const uint8_t* data, size_t len, bool last);
  void SendCodes(unsigned from, unsigned to, const uint16_t* ltreeCode, const uint8_t* ltreeLen,
                 const uint16_t* dtreeCode, const uint8_t* dtreeLen);

  void PutBits(uint32_t value, unsigned count);
  void AlignToByte();
  void FlushBits();
  void DrainOutput();

  static constexpr unsigned kWSize = 32768;
  static constexpr unsigned kWMask = kWSize - 1;
  static constexpr unsigned kHashSize = 1u << 15;
  static constexpr unsigned kSymBufSize = 32768;
  // The symbol buffer is counted in units of 4096 symbols; halves tried as
  // blocks of their own are made of whole units.
  static constexpr unsigned kUnitShift = 12;
  static constexpr unsigned kUnits = kSymBufSize >> kUnitShift;

  // Work buffers, sized once in the constructor.
  std::vector<uint8_t> window_;
  std::vector<uint16_t> prev_;
  std::vector<uint16_t> head_;
  std::vector<uint8_t> litBuf_;
  std::vector<uint16_t> distBuf_;
  std::vector<uint8_t> out_;

  TDeflateInput* input_ = nullptr;
  TDeflateOutput* output_ = nullptr;
  TLevel cfg_{};

  unsigned strStart_ = 0;
  unsigned lookahead_ = 0;
  unsigned insH_ = 0;
  unsigned matchStart_ = 0;
  unsigned matchLength_ = 0;
  unsigned prevLength_ = 0;
  bool eof_ = false;

  // The pending block: its first byte in the window (negative once slid
  // out, which rules out a stored block) and the bytes its symbols cover.
  long blockStart_ = 0;
  unsigned blockBytes_ = 0;
  unsigned symCount_ = 0;
  unsigned litCount_ = 0;
  TSymbolCounts units_[kUnits]{};

  uint64_t bitBuf_ = 0;
  unsigned bitCount_ = 0;
  size_t outLen_ = 0;
  uint64_t written_ = 0;

  uint16_t internalAttributes_ = 2;
  bool firstBlock_ = true;
};

}  // namespace zip
