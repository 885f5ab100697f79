#include "records/command.h"

namespace records {

Params values(std::initializer_list<std::pair<const char*, fb::Value>> list) {
    Params p;
    for (const auto& [name, value] : list) {
        Param param;
        param.name = name;
        param.value = value;
        p.add(std::move(param));
    }
    return p;
}

void openCommand(Buffer& b, std::string sql, Params params, const fb::Transaction* tra) {
    b.Close();
    b.CommandText = std::move(sql);
    b.Params = std::move(params);
    if (tra)
        b.Open(*tra);
    else
        b.Open();
}

void executeCommand(Buffer& b, std::string sql, Params params, const fb::Transaction& tra) {
    b.Close();
    b.CommandText = std::move(sql);
    b.Params = std::move(params);
    b.Execute(tra);
}

void prepareCommand(Buffer& b, std::string sql, const fb::Transaction& tra) {
    b.Close();
    b.CommandText = std::move(sql);
    b.Prepare(tra);
}

}  // namespace records
