// The four properties through the vtable (early binding), each property alike.
#include "ComTestSupport.h"

namespace lineprobe::test {
namespace {

using Microsoft::WRL::ComPtr;

struct Property {
    const char* name;
    decltype(&_lineprobeCom::put_ec_result) put;
    decltype(&_lineprobeCom::putref_ec_result) putref;
    decltype(&_lineprobeCom::get_ec_result) get;
};

const Property kProperties[] = {
    {"ec_result", &_lineprobeCom::put_ec_result, &_lineprobeCom::putref_ec_result, &_lineprobeCom::get_ec_result},
    {"ec_parameter", &_lineprobeCom::put_ec_parameter, &_lineprobeCom::putref_ec_parameter,
     &_lineprobeCom::get_ec_parameter},
    {"ec_timeout", &_lineprobeCom::put_ec_timeout, &_lineprobeCom::putref_ec_timeout, &_lineprobeCom::get_ec_timeout},
    {"ec_hostname", &_lineprobeCom::put_ec_hostname, &_lineprobeCom::putref_ec_hostname,
     &_lineprobeCom::get_ec_hostname},
};

class PropertyTest : public ::testing::TestWithParam<Property> {
protected:
    void SetUp() override { ASSERT_HR(S_OK, CreateTestObject(m_object)); }

    HRESULT Put(const VARIANT& value) { return (m_object.Get()->*GetParam().put)(value); }
    HRESULT PutRef(const VARIANT& value) { return (m_object.Get()->*GetParam().putref)(value); }
    std::wstring Stored() {
        unique_variant value;
        const HRESULT hr = (m_object.Get()->*GetParam().get)(value.get());
        return SUCCEEDED(hr) ? Describe(*value.get()) : L"get failed";
    }

    ComPtr<_lineprobeCom> m_object;
};

TEST_P(PropertyTest, NewObjectReturnsEmpty) {
    EXPECT_EQ(Stored(), L"VT_EMPTY");
}

TEST_P(PropertyTest, ValuesComeBackWithTypeAndContent) {
    const struct {
        unique_variant put;
        const wchar_t* stored;
    } cases[] = {
        {Text(L"server01"), L"VT_BSTR:server01"},
        {Text(L""), L"VT_BSTR:"},
        {Text(L"#LOGFILE=c:\\status.txt#USER=#PW=#UP=OK#DOWN=FAIL#"),
         L"VT_BSTR:#LOGFILE=c:\\status.txt#USER=#PW=#UP=OK#DOWN=FAIL#"},
        {Int32(30), L"VT_I4:30"},
        {Int16(-7), L"VT_I2:-7"},
        {Bool(true), L"VT_BOOL:-1"},
        {Bool(false), L"VT_BOOL:0"},
        {Double(2.5), L"VT_R8:2.500000"},
        {Date(45000.5), L"VT_DATE:45000.500000"},
        {Null(), L"VT_NULL"},
        {unique_variant(), L"VT_EMPTY"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.stored)));
        EXPECT_HR(S_OK, Put(*c.put.get()));
        EXPECT_EQ(Stored(), c.stored);
    }
}

TEST_P(PropertyTest, StoredTextIsIndependentOfTheCallersString) {
    unique_variant text = Text(L"server01");
    ASSERT_HR(S_OK, Put(*text.get()));
    V_BSTR(text.get())[0] = L'X';  // the caller changes its string, then frees it
    text.reset();
    EXPECT_EQ(Stored(), L"VT_BSTR:server01");
}

TEST_P(PropertyTest, ReturnedTextIsACopy) {
    ASSERT_HR(S_OK, Put(*Text(L"abc").get()));
    unique_variant first;
    ASSERT_HR(S_OK, (m_object.Get()->*GetParam().get)(first.get()));
    V_BSTR(first.get())[0] = L'X';
    EXPECT_EQ(Stored(), L"VT_BSTR:abc");
}

TEST_P(PropertyTest, ByReferenceValueIsTakenAtPutTime) {
    unique_variant variable = Int32(5);
    ASSERT_HR(S_OK, Put(RefTo(*variable.get())));
    V_I4(variable.get()) = 6;
    EXPECT_EQ(Stored(), L"VT_I4:5");

    LONG number = 7;
    VARIANT numberRef;
    V_VT(&numberRef) = VT_I4 | VT_BYREF;
    V_I4REF(&numberRef) = &number;
    ASSERT_HR(S_OK, Put(numberRef));
    number = 8;
    EXPECT_EQ(Stored(), L"VT_I4:7");

    unique_bstr text;
    BSTR* textVariable = text.put();
    *textVariable = MakeBstr(L"before").release();
    VARIANT textRef;
    V_VT(&textRef) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&textRef) = textVariable;
    ASSERT_HR(S_OK, Put(textRef));
    text.reset(MakeBstr(L"after").release());
    EXPECT_EQ(Stored(), L"VT_BSTR:before");
}

TEST_P(PropertyTest, ArrayIsCopied) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
    ASSERT_NE(array, nullptr);
    unique_variant value;
    V_ARRAY(value.get()) = array;
    V_VT(value.get()) = VT_ARRAY | VT_I4;
    LONG index = 0;
    LONG number = 11;
    ASSERT_HR(S_OK, SafeArrayPutElement(array, &index, &number));
    ASSERT_HR(S_OK, Put(*value.get()));
    number = 12;
    ASSERT_HR(S_OK, SafeArrayPutElement(array, &index, &number));

    unique_variant stored;
    ASSERT_HR(S_OK, (m_object.Get()->*GetParam().get)(stored.get()));
    ASSERT_EQ(V_VT(stored.get()), VT_ARRAY | VT_I4);
    EXPECT_NE(V_ARRAY(stored.get()), array);
    LONG read = 0;
    ASSERT_HR(S_OK, SafeArrayGetElement(V_ARRAY(stored.get()), &index, &read));
    EXPECT_EQ(read, 11);
}

TEST_P(PropertyTest, PutByReferenceKeepsTheObjectItself) {
    CountingObject object;
    {
        ASSERT_HR(S_OK, PutRef(*Object(&object).get()));
        EXPECT_EQ(object.Held(), 1u);
        unique_variant stored;
        ASSERT_HR(S_OK, (m_object.Get()->*GetParam().get)(stored.get()));
        ASSERT_EQ(V_VT(stored.get()), VT_DISPATCH);
        EXPECT_EQ(V_DISPATCH(stored.get()), &object);
        EXPECT_EQ(object.Held(), 2u);  // the object's reference and the returned one
    }
    EXPECT_EQ(object.Held(), 1u);
    ASSERT_HR(S_OK, Put(*Int32(1).get()));  // replacing the value lets go of the object
    EXPECT_EQ(object.Held(), 0u);
}

TEST_P(PropertyTest, PutByReferenceThroughAVariantReference) {
    CountingObject object;
    unique_variant variable = Object(&object);
    ASSERT_HR(S_OK, PutRef(RefTo(*variable.get())));
    variable.reset();
    EXPECT_EQ(object.Held(), 1u);
    m_object.Reset();  // the object's death releases what it holds
    EXPECT_EQ(object.Held(), 0u);
}

TEST_P(PropertyTest, PutByReferenceWithoutAnObjectFailsAndKeepsTheOldValue) {
    ASSERT_HR(S_OK, Put(*Text(L"old").get()));
    const unique_variant notObjects[] = {Int32(5), Text(L"new"), Null(), unique_variant()};
    for (const unique_variant& value : notObjects) {
        SetErrorInfo(0, nullptr);
        EXPECT_HR(kObjectRequired, PutRef(*value.get()));
        EXPECT_EQ(TakeErrorDescription(), L"Object required");
        EXPECT_EQ(Stored(), L"VT_BSTR:old");
    }
}

TEST_P(PropertyTest, PutByValueOfAnObjectKeepsAReference) {
    CountingObject object;
    ASSERT_HR(S_OK, Put(*Object(&object).get()));
    EXPECT_EQ(object.Held(), 1u);
    EXPECT_EQ(Stored(), L"VT_DISPATCH");
    m_object.Reset();
    EXPECT_EQ(object.Held(), 0u);
}

TEST_P(PropertyTest, GetWithoutAnOutPointerFails) {
    EXPECT_HR(E_POINTER, (m_object.Get()->*GetParam().get)(nullptr));
}

INSTANTIATE_TEST_SUITE_P(EachProperty, PropertyTest, ::testing::ValuesIn(kProperties),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Objects, KeepSeparateValues) {
    auto first = NewTestObject();
    auto second = NewTestObject();
    ASSERT_TRUE(first && second);
    ASSERT_HR(S_OK, first->put_ec_hostname(*Text(L"alpha").get()));
    ASSERT_HR(S_OK, second->put_ec_hostname(*Text(L"beta").get()));
    unique_variant value;
    ASSERT_HR(S_OK, first->get_ec_hostname(value.get()));
    EXPECT_EQ(Describe(*value.get()), L"VT_BSTR:alpha");
    value.reset();
    ASSERT_HR(S_OK, second->get_ec_hostname(value.get()));
    EXPECT_EQ(Describe(*value.get()), L"VT_BSTR:beta");
    value.reset();
    ASSERT_HR(S_OK, second->get_ec_timeout(value.get()));
    EXPECT_EQ(Describe(*value.get()), L"VT_EMPTY");
}

TEST(Objects, PropertiesDoNotShareValues) {
    auto object = NewTestObject();
    ASSERT_TRUE(object);
    ASSERT_HR(S_OK, object->put_ec_parameter(*Text(L"#LOGFILE=x#").get()));
    unique_variant value;
    for (auto get : {&_lineprobeCom::get_ec_result, &_lineprobeCom::get_ec_timeout, &_lineprobeCom::get_ec_hostname}) {
        value.reset();
        ASSERT_HR(S_OK, (object.Get()->*get)(value.get()));
        EXPECT_EQ(Describe(*value.get()), L"VT_EMPTY");
    }
}

// What ec_docheck returns belongs to the check run; this object only promises the
// shape: S_OK, a VARIANT_BOOL, and a text in ec_result.
TEST(Objects, CheckAlwaysSucceedsAndLeavesATextResult) {
    auto object = NewTestObject();
    ASSERT_TRUE(object);
    VARIANT_BOOL up = 1;
    ASSERT_HR(S_OK, object->ec_docheck(&up));
    EXPECT_TRUE(up == VARIANT_TRUE || up == VARIANT_FALSE);
    unique_variant result;
    ASSERT_HR(S_OK, object->get_ec_result(result.get()));
    EXPECT_EQ(V_VT(result.get()), VT_BSTR);
    EXPECT_HR(E_POINTER, object->ec_docheck(nullptr));
}

}  // namespace
}  // namespace lineprobe::test
