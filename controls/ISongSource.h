#pragma once
#include "service/SongRecord.h"

// The song queue as the songs page reads it when it rebuilds its rows.
class ISongSource {
public:
    virtual ~ISongSource() = default;
    virtual int SongCount() = 0;
    // A copy of song i; an empty record out of range.
    virtual SongRecord SongAt(int i) = 0;
};
