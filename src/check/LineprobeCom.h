// The check object lineprobeCom: four VARIANT properties, the check and the dialog entry,
// served through the dual interface _lineprobeCom.
#pragma once

#include <comlineprobe.h>

#include <memory>

#include "ComObject.h"
#include "TypeLibrary.h"
#include "UniqueResource.h"
#include "frmmain.h"

namespace lineprobe {

class LineprobeCom final : public ComObject<LineprobeCom, _lineprobeCom, ISupportErrorInfo> {
public:
    static const InterfaceEntry<LineprobeCom> kInterfaces[3];

    LineprobeCom();
    ~LineprobeCom();

    // The type information every object serves IDispatch from; the DLL lets it
    // go when it is unloaded.
    static ModuleTypeInfo s_typeInfo;

    // IDispatch, from the type library embedded in the DLL.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) noexcept override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) noexcept override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept override;

    // _lineprobeCom
    HRESULT STDMETHODCALLTYPE ec_docheck(VARIANT_BOOL* up) noexcept override;
    HRESULT STDMETHODCALLTYPE ec_showGUI() noexcept override;
    HRESULT STDMETHODCALLTYPE put_ec_result(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE putref_ec_result(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ec_result(VARIANT* value) noexcept override;
    HRESULT STDMETHODCALLTYPE put_ec_parameter(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE putref_ec_parameter(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ec_parameter(VARIANT* value) noexcept override;
    HRESULT STDMETHODCALLTYPE put_ec_timeout(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE putref_ec_timeout(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ec_timeout(VARIANT* value) noexcept override;
    HRESULT STDMETHODCALLTYPE put_ec_hostname(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE putref_ec_hostname(VARIANT value) noexcept override;
    HRESULT STDMETHODCALLTYPE get_ec_hostname(VARIANT* value) noexcept override;

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) noexcept override;

private:
    unique_variant m_hostname;
    unique_variant m_timeout;
    unique_variant m_parameter;
    unique_variant m_result;
    // Declared last, so it also goes first if the destructor's own reset is ever removed.
    std::unique_ptr<frmmain> m_dialog;
};

}  // namespace lineprobe
