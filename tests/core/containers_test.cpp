#include "core/containers.h"
#include "core/vecmath.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace {

class TVectorArray : public TDArray {
public:
    TVectorArray() : TDArray(12) {}
};

class TIndexArray : public TDArray {
public:
    TIndexArray() : TDArray(2) {}
};

bool AllZero(const TDArray& a) {
    const auto* p = static_cast<const unsigned char*>(a.Data());
    for (size_t i = 0; i < a.ByteSize(); ++i)
        if (p[i] != 0) return false;
    return true;
}

TEST(TDArray, NewArrayIsEmptyWithByteElements) {
    TDArray a;
    EXPECT_EQ(a.ElementSize(), 1);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Data(), nullptr);
}

TEST(TDArray, SetCountReallocatesExactlyAndKeepsLeadingElements) {
    TVectorArray a;
    a.SetCount(3);
    ASSERT_EQ(a.Count(), 3);
    ASSERT_EQ(a.ByteSize(), 36u);
    ASSERT_NE(a.Data(), nullptr);
    EXPECT_TRUE(AllZero(a));

    for (int i = 0; i < 3; ++i) {
        TVector3f v = MakeVector(float(i + 1), float(i + 2), float(i + 3));
        a.SetItem(i, &v);
    }
    a.SetCount(1);
    ASSERT_EQ(a.Count(), 1);
    EXPECT_EQ(a.ByteSize(), 12u);
    TVector3f out;
    a.GetItem(0, &out);
    EXPECT_EQ(out.x, 1);
    EXPECT_EQ(out.z, 3);

    // Growing again zero-fills the new tail, not stale data from before.
    a.Grow(2);
    ASSERT_EQ(a.Count(), 3);
    EXPECT_EQ(a.As<TVector3f>()[0].y, 2);
    EXPECT_EQ(a.As<TVector3f>()[1].x, 0);
    EXPECT_EQ(a.As<TVector3f>()[2].z, 0);

    a.SetCount(0);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Data(), nullptr);
}

TEST(TDArray, NonPositiveAmountsAndOverShrink) {
    TIndexArray a;
    a.Grow(0);
    a.Grow(-4);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Data(), nullptr);
    a.SetCount(5);
    a.Shrink(-1);
    a.Shrink(0);
    EXPECT_EQ(a.Count(), 5);
    a.Shrink(9);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Data(), nullptr);
    a.SetCount(2);
    a.SetCount(-3);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Data(), nullptr);
}

TEST(TDArray, IndexOutOfBoundsRaises) {
    TIndexArray a;
    a.SetCount(2);
    int16_t v = 7;
    a.SetItem(1, &v);
    int16_t out = 0;
    a.GetItem(1, &out);
    EXPECT_EQ(out, 7);

    EXPECT_EQ(ErrorOf([&] { a.GetItem(a.Count(), &out); }), "TDArray GetItem: index out of bounds.");
    EXPECT_EQ(ErrorOf([&] { a.GetItem(-1, &out); }), "TDArray GetItem: index out of bounds.");
    EXPECT_EQ(ErrorOf([&] { a.SetItem(2, &v); }), "TDArray SetItem: index out of bounds.");
    EXPECT_EQ(ErrorOf([&] { a.SetItem(-1, &v); }), "TDArray SetItem: index out of bounds.");
    TDArray empty;
    EXPECT_EQ(ErrorOf([&] { empty.GetItem(0, &out); }), "TDArray GetItem: index out of bounds.");
}

TEST(TDArray, GrowRefusesSizeOverflow) {
    TVectorArray a;
    a.SetCount(1);
    EXPECT_THROW(a.Grow(INT_MAX), Exception);
    // The array is untouched by the refused request.
    EXPECT_EQ(a.Count(), 1);
    EXPECT_NE(a.Data(), nullptr);
}

TEST(TDArray, TypedViewMustMatchElementSize) {
    TVectorArray a;
    a.SetCount(2);
    EXPECT_EQ(static_cast<void*>(a.As<TVector3f>()), a.Data());
    EXPECT_THROW(a.As<uint32_t>(), Exception);
}

TEST(TDArray, AssignToCopiesAndAdoptsElementSize) {
    TVectorArray source;
    source.SetCount(2);
    source.As<TVector3f>()[1] = MakeVector(4, 5, 6);

    TIndexArray target;
    target.SetCount(7);
    source.AssignTo(&target);
    EXPECT_EQ(target.ElementSize(), 12);
    EXPECT_EQ(target.Count(), 2);
    EXPECT_EQ(std::memcmp(target.Data(), source.Data(), 24), 0);
    EXPECT_NE(target.Data(), source.Data());

    // Same element size: resized to the source's count, no leftovers.
    TVectorArray bigger;
    bigger.SetCount(5);
    source.AssignTo(&bigger);
    EXPECT_EQ(bigger.Count(), 2);
    EXPECT_EQ(bigger.As<TVector3f>()[1].y, 5);

    source.AssignTo(nullptr);
}

TEST(TDArray, AssignToFromEmptyLeavesTargetUnchanged) {
    TVectorArray empty;
    TIndexArray target;
    target.SetCount(3);
    int16_t v = 9;
    target.SetItem(2, &v);
    empty.AssignTo(&target);
    EXPECT_EQ(target.ElementSize(), 2);
    EXPECT_EQ(target.Count(), 3);
    EXPECT_EQ(target.As<int16_t>()[2], 9);
}

TEST(TDArray, MoveTransfersTheBuffer) {
    TVectorArray a;
    a.SetCount(4);
    const void* data = a.Data();
    TVectorArray b(std::move(a));
    EXPECT_EQ(b.Data(), data);
    EXPECT_EQ(b.Count(), 4);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(a.Data(), nullptr);
}

struct Tracked {
    explicit Tracked(int* counter, const TBaseList<Tracked>* list = nullptr) : Counter(counter), List(list) {}
    ~Tracked() {
        ++*Counter;
        if (List) SeenCount = List->Count();
    }
    int* Counter;
    const TBaseList<Tracked>* List;
    static inline int SeenCount = -1;
};

TEST(TBaseList, AddGetCountAndOwnership) {
    int freed = 0;
    {
        TBaseList<Tracked> list;
        Tracked* first = list.Add(std::make_unique<Tracked>(&freed));
        Tracked* second = list.Add(std::make_unique<Tracked>(&freed));
        EXPECT_EQ(list.Count(), 2);
        EXPECT_EQ(list.Get(0), first);
        EXPECT_EQ(list.Get(1), second);
        EXPECT_THROW(list.Get(2), Exception);
        EXPECT_THROW(list.Get(-1), Exception);

        list.Clear();
        EXPECT_EQ(freed, 2);
        EXPECT_EQ(list.Count(), 0);
        list.Add(std::make_unique<Tracked>(&freed));
    }
    EXPECT_EQ(freed, 3);  // the destructor frees what is left
}

TEST(TBaseList, ObjectsDieAfterTheListIsEmptied) {
    int freed = 0;
    TBaseList<Tracked> list;
    list.Add(std::make_unique<Tracked>(&freed, &list));
    list.Add(std::make_unique<Tracked>(&freed, &list));
    list.Clear();
    EXPECT_EQ(freed, 2);
    EXPECT_EQ(Tracked::SeenCount, 0);
}

}  // namespace
