// The session object: session parameters, rights, business-object creation, pack options.
#pragma once

#include "host/services/Interfaces.h"
#include "host/services/OrvPack.h"

#include <functional>
#include <map>
#include <string>

namespace orv {

class TApplication;

// Named session parameters ("UNIT_ID", "SESSION_ID", ...), as text.
class TOrvCodeTable {
public:
    // Raises orv::Exception naming the parameter when it was never set.
    std::string GetValue(const std::string& Name) const;
    void SetValue(const std::string& Name, const std::string& Value);
    bool HasValue(const std::string& Name) const { return FValues.count(Name) != 0; }

private:
    std::map<std::string, std::string> FValues;
};

// Makes a new business object; the caller takes over the one reference it holds.
using TObjectFactory = std::function<TInterfacePtr<IInterface>()>;
// Answers whether the session's user holds a privilege.
using TAuthorizer = std::function<bool(const std::string& Code)>;

// The host fills it (parameters, classes, the authorizer) and hands it to every plug-in;
// the plug-ins read it afresh at every use.
class TSysInfo {
public:
    TSysInfo() = default;
    TSysInfo(const TSysInfo&) = delete;
    TSysInfo& operator=(const TSysInfo&) = delete;

    TOrvCodeTable* CodeTable() { return &FCodeTable; }
    const TOrvCodeTable* CodeTable() const { return &FCodeTable; }

    TApplication* HostApplication() const { return FHostApplication; }
    void SetHostApplication(TApplication* Value) { FHostApplication = Value; }

    // Business objects by class name. Registering a name again replaces its factory.
    void RegisterClass(const std::string& ClassName, TObjectFactory Factory);
    void UnregisterClass(const std::string& ClassName);
    bool IsClassRegistered(const std::string& ClassName) const { return FClasses.count(ClassName) != 0; }
    // A new object of the class. An unknown class, or a factory that makes nothing,
    // raises orv::Exception naming the class.
    TInterfacePtr<IInterface> CreateObject(const std::string& ClassName) const;

    // Without an authorizer nothing is authorized.
    void SetAuthorizer(TAuthorizer Value) { FAuthorizer = std::move(Value); }
    bool Authorized(const std::string& Code) const;

    TOrvPackOptions GetPackOptions() const { return FPackOptions; }
    void SetPackOptions(TOrvPackOptions Value) { FPackOptions = Value; }

private:
    TOrvCodeTable FCodeTable;
    TApplication* FHostApplication = nullptr;
    std::map<std::string, TObjectFactory> FClasses;
    TAuthorizer FAuthorizer;
    TOrvPackOptions FPackOptions{TOrvPackOption::poCompress, TOrvPackOption::poChecksum};
};

// The session of the process, set by each plug-in's Initialize; not owned.
extern TSysInfo* SysInfoObj;

} // namespace orv
