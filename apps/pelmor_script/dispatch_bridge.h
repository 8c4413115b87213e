// Automation objects inside the script engine. Each object a script holds is a JavaScript Proxy
// around a handle that owns one reference to the object's IDispatch: reading a name, setting it
// or calling it becomes GetIDsOfNames and Invoke, whatever the letter case; whether a name is a
// method or a property comes from the object's type information. An unknown name, or a failed
// call, throws an Error carrying the result code (hresult) and the error code (code: 383 for a
// read-only property, the hresult itself for codes outside the controls' range).
#pragma once

#include <QJSEngine>
#include <QJSValue>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "pelmor/pelmor.h"

namespace pelmor::script {

// One reference to an object. The script engine owns the handle and deletes it when the script
// can no longer reach it; the reference goes with it, or earlier with Drop.
class DispatchHandle : public QObject {
  Q_OBJECT

 public:
  DispatchHandle(IDispatch* dispatch, QString description, std::set<DispatchHandle*>& live);
  ~DispatchHandle() override;

  IDispatch* Dispatch() const { return dispatch_; }
  const QString& Description() const { return description_; }
  // Releases the reference now (the handle stays, empty).
  void Drop();

  struct Member {
    DISPID id;
    bool method;
  };
  // The member of that name (any case); false when the object has none.
  bool Lookup(const QString& name, Member& member);

 private:
  IDispatch* dispatch_;
  QString description_;
  std::set<DispatchHandle*>& live_;
  std::set<DISPID> methods_;  // from the type information
  std::map<QString, Member> cache_;
};

// The native side of the proxies, reached from the script prelude.
class DispatchBridge : public QObject {
  Q_OBJECT

 public:
  explicit DispatchBridge(QJSEngine& engine);
  ~DispatchBridge() override;

  // Installs the prelude; call once before wrapping anything.
  bool Install(QString& error);
  // A script value for an object, taking over the caller's reference.
  QJSValue Wrap(IDispatch* dispatch, const QString& description);
  // The handle behind a script value (a proxy made by Wrap); null for anything else.
  DispatchHandle* HandleOf(const QJSValue& value);
  // Throws an Error with the code into the running script.
  void Throw(HRESULT hr, const QString& message);

  // Objects the script still holds; DropAll releases every reference (the end of a script).
  size_t LiveObjects() const { return live_.size(); }
  void DropAll();
  // Deletes the handles the engine has let go of and, when more than `threshold` objects are
  // alive, first asks the engine to collect what the script dropped.
  void Collect(size_t threshold);

  // Called by the prelude.
  Q_INVOKABLE QString kind(QObject* handle, const QString& name, bool quiet);
  Q_INVOKABLE QJSValue get(QObject* handle, const QString& name);
  Q_INVOKABLE void set(QObject* handle, const QString& name, const QJSValue& value);
  Q_INVOKABLE QJSValue call(QObject* handle, const QString& name, const QJSValue& args);
  Q_INVOKABLE QString describe(QObject* handle);

 private:
  DispatchHandle* Handle(QObject* object, const QString& name);
  // Invoke with the script's values; on failure throws into the script and returns undefined.
  QJSValue Invoke(DispatchHandle& handle, const QString& name, uint16_t flags,
                  const std::vector<QJSValue>& args);
  bool ToVariant(const QJSValue& in, VARIANT& out);
  QJSValue FromVariant(VARIANT& in);

  QJSEngine& engine_;
  QJSValue wrap_;
  QJSValue handleKey_;
  std::set<DispatchHandle*> live_;
};

// The error code a script shows for a result: the error number of a control error
// (0x800A0000 + n), else the result itself as an unsigned number.
double ErrorCode(HRESULT hr);

}  // namespace pelmor::script
