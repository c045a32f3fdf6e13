// The exported names that client code compiles against: converters and collection path functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brenvale::compat {

enum class ClientName : unsigned char { converter, path_function };

// The name the Firestore module exports for a definition (converter) or a collection pattern
// (path function). Every rule that compares exported names asks here, so the naming has one
// home on this side. Returns an owned string; never fails.
std::string client_name(ClientName kind, std::string_view source);

// The parameters of a collection's path function, in path order ("{tenant}" -> "tenant").
std::vector<std::string> path_parameters(std::string_view collection);

}  // namespace brenvale::compat
