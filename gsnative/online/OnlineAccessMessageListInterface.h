// OnlineAccessMessageListInterface: a queue of received online messages
// that a script collects one at a time (the online object's and each
// group's).
//
// PopMessage hands out the oldest message's user name and body and answers
// 0; with none it answers 6 while the endpoint is online, else 1 (a group
// without an owner answers 1 as well). Nothing is changed when it does not
// answer 0.
#pragma once

#include <string>

class Soup;

class OnlineAccessMessageListInterface {
 public:
  virtual ~OnlineAccessMessageListInterface() = default;
  virtual int PopMessage(std::string& userName, Soup& body) = 0;
};
