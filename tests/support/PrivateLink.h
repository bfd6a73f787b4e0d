// SPDX-License-Identifier: GPL-3.0-or-later
// A network namespace of the test's own, joined to this one by a veth pair
// with an address on each end of a private /30 link in 10.213.0.0/16: a
// second host whose link can be cut without a word (no reset, no refusal:
// packets just stop) and restored. Nothing outside the pair and the
// namespace changes; both go when the object does. Needs root and ip(8).
#pragma once

#include <string>

class CPrivateLink {
public:
  // Returns true when such a link can be made here; otherwise false with the
  // reason in why (a test failure too under FERROX_REQUIRE_SMB=1, as with
  // CSambaServer::Available).
  static bool Available(std::string& why);

  // Makes the namespace, the pair and the addresses; Ok() tells whether it
  // worked.
  CPrivateLink();
  // Deletes the namespace, which takes the pair with it.
  ~CPrivateLink();
  CPrivateLink(const CPrivateLink&) = delete;
  CPrivateLink& operator=(const CPrivateLink&) = delete;

  // Returns true when the link is up and both ends have their addresses.
  bool Ok() const { return m_ok; }
  // Returns what failed when Ok() is false.
  const std::string& Error() const { return m_error; }

  // The namespace's name (as "ip netns" knows it) and its end's address.
  const std::string& Namespace() const { return m_namespace; }
  const std::string& FarAddress() const { return m_far; }

  // Takes the namespace's end of the pair down: this end keeps its address
  // and route, and what it sends is lost. Restore brings it back up.
  bool Cut();
  bool Restore();

private:
  bool Ip(const std::string& what);

  std::string m_namespace;
  std::string m_near;  // this end's name
  std::string m_farDevice;
  std::string m_far;
  bool m_ok = false;
  std::string m_error;
};
