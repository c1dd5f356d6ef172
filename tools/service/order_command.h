// What the stand-in order service answers: an order command document of its own design, DES-ECB
// encrypted under the key the panel derives from the request's HASH, as upper-case hexadecimal text.
#pragma once

#include <string>

#include "service/order_request.h"

// <Order Type="BUY" Volume="0.01" SL="0" TP="0" SetSLTPonME="0" Comp="..." Id="7"/>, for the request read.
std::string OrderCommand(const OrderRequest& order, unsigned id);

// The same command as a service may well write it: an XML declaration, a comment, a child element.
std::string GenuineCommandWithDeclaration(const std::string& command);

// DES-ECB under the key of characters 1 to 8 of the hash text, the text completed with zero bytes to whole
// blocks; empty when the platform's cipher is not available.
std::string EncryptForPanel(const std::string& plain, const std::string& hash);

std::string HexUpper(const std::string& bytes);
