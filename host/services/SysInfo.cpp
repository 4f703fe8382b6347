#include "host/services/SysInfo.h"

#include "host/core/SysUtils.h"

namespace orv {

TSysInfo* SysInfoObj = nullptr;

std::string TOrvCodeTable::GetValue(const std::string& Name) const {
    auto It = FValues.find(Name);
    if (It == FValues.end()) throw Exception(Format("会话参数“%s”没有设置。", {Name}));
    return It->second;
}

void TOrvCodeTable::SetValue(const std::string& Name, const std::string& Value) {
    FValues[Name] = Value;
}

void TSysInfo::RegisterClass(const std::string& ClassName, TObjectFactory Factory) {
    FClasses[ClassName] = std::move(Factory);
}

void TSysInfo::UnregisterClass(const std::string& ClassName) {
    FClasses.erase(ClassName);
}

TInterfacePtr<IInterface> TSysInfo::CreateObject(const std::string& ClassName) const {
    auto It = FClasses.find(ClassName);
    if (It == FClasses.end() || !It->second)
        throw Exception(Format("无法创建业务对象“%s”：没有登记这个类。", {ClassName}));
    TInterfacePtr<IInterface> Obj = It->second();
    if (!Obj) throw Exception(Format("无法创建业务对象“%s”。", {ClassName}));
    return Obj;
}

bool TSysInfo::Authorized(const std::string& Code) const {
    return FAuthorizer && FAuthorizer(Code);
}

} // namespace orv
