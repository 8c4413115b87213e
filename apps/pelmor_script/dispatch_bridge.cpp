#include "dispatch_bridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <cmath>
#include <cstdint>
#include <vector>

namespace pelmor::script {

namespace {

// Makes the proxies. The handle hides behind a symbol no script can name; names that are not
// the object's members throw (from the native side), except the conversions the language itself
// asks objects for.
constexpr char kPrelude[] = R"JS(
(function (bridge) {
  'use strict';
  const handleKey = Symbol('handle');
  const conversions = { toString: true, valueOf: true, toJSON: true };
  function unwrap(v) {
    return (v !== null && typeof v === 'object' && v[handleKey]) || v;
  }
  function wrap(handle) {
    return new Proxy(handle, {
      get(target, name) {
        if (name === handleKey) return target;
        if (typeof name !== 'string') return undefined;
        const kind = bridge.kind(target, name, conversions[name] === true);
        if (kind === 'method') {
          return function () {
            return bridge.call(target, name, Array.prototype.map.call(arguments, unwrap));
          };
        }
        if (kind === 'property') return bridge.get(target, name);
        if (name === 'toJSON') return undefined;
        return function () { return bridge.describe(target); };
      },
      set(target, name, value) {
        if (typeof name !== 'string') return false;
        bridge.set(target, name, unwrap(value));
        return true;
      },
      has(target, name) {
        return typeof name === 'string' && bridge.kind(target, name, true) !== '';
      },
      defineProperty() { return false; },
      deleteProperty() { return false; },
    });
  }
  return { wrap: wrap, unwrap: function (v) { return v !== null && typeof v === 'object' ? v[handleKey] || null : null; } };
})
)JS";

QString Text(BSTR b) {
  return b != nullptr ? QString::fromUtf16(b, static_cast<qsizetype>(SysStringLen(b))) : QString();
}

BSTR NewBstr(const QString& s) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.utf16()),
                           static_cast<uint32_t>(s.size()));
}

QString Hex(HRESULT hr) { return QString::asprintf("0x%08X", static_cast<uint32_t>(hr)); }

// What a failed Invoke means, for codes that carry no text of their own.
QString Meaning(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x80020003u: return QStringLiteral("the object cannot do that with this member");
    case 0x80020004u: return QStringLiteral("an argument is missing");
    case 0x80020005u: return QStringLiteral("an argument has the wrong type");
    case 0x80020006u: return QStringLiteral("no such member");
    case 0x80020007u: return QStringLiteral("named arguments are not supported");
    case 0x80020008u: return QStringLiteral("a value of a type the object cannot take");
    case 0x8002000Au: return QStringLiteral("a value out of range");
    case 0x8002000Eu: return QStringLiteral("the wrong number of arguments");
    case 0x8002000Fu: return QStringLiteral("an argument that may not be left out");
    case 0x8007000Eu: return QStringLiteral("out of memory");
    default: return QStringLiteral("the call failed");
  }
}

}  // namespace

double ErrorCode(HRESULT hr) {
  const auto u = static_cast<uint32_t>(hr);
  if ((u & 0xFFFF0000u) == 0x800A0000u) return u & 0xFFFF;
  return u;
}

DispatchHandle::DispatchHandle(IDispatch* dispatch, QString description,
                               std::set<DispatchHandle*>& live)
    : dispatch_(dispatch), description_(std::move(description)), live_(live) {
  live_.insert(this);
  // Which identifiers are methods: a name that is one is called, any other is read.
  ITypeInfo* info = nullptr;
  uint32_t count = 0;
  if (dispatch_->lpVtbl->GetTypeInfoCount(dispatch_, &count) != S_OK || count == 0 ||
      dispatch_->lpVtbl->GetTypeInfo(dispatch_, 0, LOCALE_USER_DEFAULT, &info) != S_OK ||
      info == nullptr) {
    return;
  }
  TYPEATTR* attr = nullptr;
  if (info->lpVtbl->GetTypeAttr(info, &attr) == S_OK && attr != nullptr) {
    for (uint32_t i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* f = nullptr;
      if (info->lpVtbl->GetFuncDesc(info, i, &f) == S_OK && f != nullptr) {
        methods_.insert(f->memid);
        info->lpVtbl->ReleaseFuncDesc(info, f);
      }
    }
    info->lpVtbl->ReleaseTypeAttr(info, attr);
  }
  info->lpVtbl->Release(info);
}

DispatchHandle::~DispatchHandle() {
  Drop();
  live_.erase(this);
}

void DispatchHandle::Drop() {
  if (dispatch_ == nullptr) return;
  IDispatch* d = dispatch_;
  dispatch_ = nullptr;
  d->lpVtbl->Release(d);
}

bool DispatchHandle::Lookup(const QString& name, Member& member) {
  if (dispatch_ == nullptr) return false;
  const QString key = name.toLower();
  if (const auto it = cache_.find(key); it != cache_.end()) {
    member = it->second;
    return true;
  }
  const OLECHAR* names[] = {reinterpret_cast<const OLECHAR*>(name.utf16())};
  DISPID id = DISPID_UNKNOWN;
  if (dispatch_->lpVtbl->GetIDsOfNames(dispatch_, &IID_NULL, names, 1, LOCALE_USER_DEFAULT,
                                       &id) != S_OK) {
    return false;
  }
  member = {id, methods_.count(id) != 0};
  cache_.emplace(key, member);
  return true;
}

DispatchBridge::DispatchBridge(QJSEngine& engine) : engine_(engine) {}

DispatchBridge::~DispatchBridge() {
  DropAll();
  // Handles the engine never deleted go with the bridge.
  while (!live_.empty()) delete *live_.begin();
}

bool DispatchBridge::Install(QString& error) {
  QJSEngine::setObjectOwnership(this, QJSEngine::CppOwnership);
  QJSValue make = engine_.evaluate(QString::fromUtf8(kPrelude));
  QJSValue made = make.call({engine_.newQObject(this)});
  if (made.isError() || !made.isObject()) {
    error = made.toString();
    return false;
  }
  wrap_ = made.property(QStringLiteral("wrap"));
  handleKey_ = made.property(QStringLiteral("unwrap"));
  return true;
}

QJSValue DispatchBridge::Wrap(IDispatch* dispatch, const QString& description) {
  if (dispatch == nullptr) return QJSValue(QJSValue::NullValue);
  auto* handle = new DispatchHandle(dispatch, description, live_);
  QJSValue object = engine_.newQObject(handle);  // the engine owns it
  return wrap_.call({object});
}

DispatchHandle* DispatchBridge::HandleOf(const QJSValue& value) {
  if (!value.isObject()) return nullptr;
  return qobject_cast<DispatchHandle*>(handleKey_.call({value}).toQObject());
}

void DispatchBridge::Throw(HRESULT hr, const QString& message) {
  QJSValue error = engine_.newErrorObject(QJSValue::GenericError, message + " (" + Hex(hr) + ")");
  // The error is made inside the proxy's code; it points at the script's line that called.
  for (const QString& frame : error.property(QStringLiteral("stack")).toString().split('\n')) {
    const qsizetype at = frame.lastIndexOf('@');
    const qsizetype colon = frame.lastIndexOf(':');
    if (at < 0 || colon <= at + 1) continue;  // a frame of the host's own code has no file
    QString file = frame.mid(at + 1, colon - at - 1);
    if (file.startsWith(QStringLiteral("file:"))) file = file.mid(5);
    error.setProperty(QStringLiteral("fileName"), file);
    error.setProperty(QStringLiteral("lineNumber"), frame.mid(colon + 1).toInt());
    break;
  }
  error.setProperty(QStringLiteral("hresult"), static_cast<double>(static_cast<uint32_t>(hr)));
  error.setProperty(QStringLiteral("code"), ErrorCode(hr));
  engine_.throwError(error);
}

void DispatchBridge::DropAll() {
  for (DispatchHandle* h : live_) h->Drop();
}

void DispatchBridge::Collect(size_t threshold) {
  if (live_.size() > threshold) engine_.collectGarbage();
  // The engine deletes the handles it collected later, through the event queue.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

DispatchHandle* DispatchBridge::Handle(QObject* object, const QString& name) {
  auto* handle = qobject_cast<DispatchHandle*>(object);
  if (handle == nullptr || handle->Dispatch() == nullptr) {
    Throw(E_POINTER, name + QStringLiteral(": not an object"));
    return nullptr;
  }
  return handle;
}

QString DispatchBridge::kind(QObject* object, const QString& name, bool quiet) {
  DispatchHandle* handle = Handle(object, name);
  if (handle == nullptr) return {};
  DispatchHandle::Member m;
  if (handle->Lookup(name, m)) return m.method ? QStringLiteral("method") : QStringLiteral("property");
  if (!quiet) Throw(DISP_E_UNKNOWNNAME, handle->Description() + "." + name + ": no such member");
  return {};
}

QJSValue DispatchBridge::get(QObject* object, const QString& name) {
  DispatchHandle* handle = Handle(object, name);
  if (handle == nullptr) return {};
  return Invoke(*handle, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD, {});
}

void DispatchBridge::set(QObject* object, const QString& name, const QJSValue& value) {
  DispatchHandle* handle = Handle(object, name);
  if (handle == nullptr) return;
  // The prelude hands objects over unwrapped, as their handles.
  const uint16_t flags = value.isQObject() ? DISPATCH_PROPERTYPUTREF : DISPATCH_PROPERTYPUT;
  Invoke(*handle, name, flags, {value});
}

QJSValue DispatchBridge::call(QObject* object, const QString& name, const QJSValue& args) {
  DispatchHandle* handle = Handle(object, name);
  if (handle == nullptr) return {};
  std::vector<QJSValue> list;
  const int n = args.property(QStringLiteral("length")).toInt();
  for (int i = 0; i < n; ++i) list.push_back(args.property(static_cast<quint32>(i)));
  return Invoke(*handle, name, DISPATCH_METHOD, list);
}

QString DispatchBridge::describe(QObject* object) {
  auto* handle = qobject_cast<DispatchHandle*>(object);
  return QStringLiteral("[object %1]").arg(handle != nullptr ? handle->Description()
                                                           : QStringLiteral("?"));
}

QJSValue DispatchBridge::Invoke(DispatchHandle& handle, const QString& name, uint16_t flags,
                                const std::vector<QJSValue>& args) {
  DispatchHandle::Member m;
  if (!handle.Lookup(name, m)) {
    Throw(DISP_E_UNKNOWNNAME, handle.Description() + "." + name + ": no such member");
    return {};
  }
  // The host passes the arguments last first.
  std::vector<VARIANT> values(args.size());
  for (VARIANT& v : values) VariantInit(&v);
  bool converted = true;
  for (size_t i = 0; i < args.size() && converted; ++i) {
    converted = ToVariant(args[i], values[args.size() - 1 - i]);
  }
  HRESULT hr = E_OUTOFMEMORY;
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  uint32_t argErr = 0;
  if (converted) {
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{values.data(), put ? &named : nullptr, static_cast<uint32_t>(values.size()),
                      put ? 1u : 0u};
    IDispatch* d = handle.Dispatch();
    hr = d->lpVtbl->Invoke(d, m.id, &IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                           put ? nullptr : &result, &excep, &argErr);
  }
  for (VARIANT& v : values) VariantClear(&v);
  const QString where = handle.Description() + "." + name;
  if (hr == DISP_E_EXCEPTION) {
    const QString text = Text(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    Throw(excep.scode, where + ": " + (text.isEmpty() ? Meaning(excep.scode) : text));
    return {};
  }
  if (FAILED(hr)) {
    QString text = Meaning(hr);
    if (hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW || hr == DISP_E_BADVARTYPE) {
      text += QStringLiteral(" (argument %1)").arg(args.size() - argErr);
    }
    Throw(hr, where + ": " + text);
    return {};
  }
  return FromVariant(result);
}

bool DispatchBridge::ToVariant(const QJSValue& in, VARIANT& out) {
  VariantInit(&out);
  if (in.isUndefined()) {  // an argument left out
    out.vt = VT_ERROR;
    out.scode = DISP_E_PARAMNOTFOUND;
  } else if (in.isNull()) {
    out.vt = VT_NULL;
  } else if (in.isBool()) {
    out.vt = VT_BOOL;
    out.boolVal = in.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (in.isNumber()) {
    const double d = in.toNumber();
    if (std::nearbyint(d) == d && d >= INT32_MIN && d <= INT32_MAX) {
      out.vt = VT_I4;
      out.lVal = static_cast<int32_t>(d);
    } else if (std::nearbyint(d) == d && d >= 0 && d <= UINT32_MAX) {
      out.vt = VT_UI4;
      out.ulVal = static_cast<uint32_t>(d);
    } else {
      out.vt = VT_R8;
      out.dblVal = d;
    }
  } else if (in.isString()) {
    out.vt = VT_BSTR;
    out.bstrVal = NewBstr(in.toString());
    return out.bstrVal != nullptr;
  } else if (DispatchHandle* h = qobject_cast<DispatchHandle*>(in.toQObject());
             h != nullptr && h->Dispatch() != nullptr) {
    out.vt = VT_DISPATCH;
    out.pdispVal = h->Dispatch();
    out.pdispVal->lpVtbl->AddRef(out.pdispVal);
  } else {
    // Any other script value is passed as its text.
    out.vt = VT_BSTR;
    out.bstrVal = NewBstr(in.toString());
    return out.bstrVal != nullptr;
  }
  return true;
}

QJSValue DispatchBridge::FromVariant(VARIANT& in) {
  QJSValue out;
  switch (in.vt) {
    case VT_I2: out = QJSValue(in.iVal); break;
    case VT_I4: out = QJSValue(in.lVal); break;
    case VT_UI4: out = QJSValue(static_cast<double>(in.ulVal)); break;
    case VT_R4: out = QJSValue(static_cast<double>(in.fltVal)); break;
    case VT_R8: out = QJSValue(in.dblVal); break;
    case VT_BOOL: out = QJSValue(in.boolVal != VARIANT_FALSE); break;
    case VT_BSTR: out = QJSValue(Text(in.bstrVal)); break;
    case VT_NULL: out = QJSValue(QJSValue::NullValue); break;
    case VT_DISPATCH: {
      IDispatch* d = in.pdispVal;
      in.pdispVal = nullptr;
      in.vt = VT_EMPTY;
      return Wrap(d, QStringLiteral("object"));  // takes the reference
    }
    default: break;
  }
  VariantClear(&in);
  return out;
}

}  // namespace pelmor::script
