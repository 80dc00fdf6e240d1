// Owns one description that a type library or a type information lends out (TLIBATTR, TYPEATTR,
// FUNCDESC) and hands it back through its lender's own release call on every path. The lender must
// outlive the holder; the holder takes no reference on it.
#pragma once

#include "base/scoped_owner.h"
#include "platform/win32.h"

inline void ReleaseDescription(ITypeLib* lender, TLIBATTR* description) { lender->ReleaseTLibAttr(description); }
inline void ReleaseDescription(ITypeInfo* lender, TYPEATTR* description) { lender->ReleaseTypeAttr(description); }
inline void ReleaseDescription(ITypeInfo* lender, FUNCDESC* description) { lender->ReleaseFuncDesc(description); }

template <class Lender>
struct DescriptionFreer {
    Lender* lender = nullptr;
    template <class Description>
    void operator()(Description* description) const
    {
        ReleaseDescription(lender, description);
    }
};

template <class Lender, class Description>
class CDescriptionHolder : public CFreeingOwner<Description, DescriptionFreer<Lender>> {
public:
    explicit CDescriptionHolder(Lender* lender)
        : CFreeingOwner<Description, DescriptionFreer<Lender>>(nullptr, DescriptionFreer<Lender>{lender})
    {
    }
};
