#pragma once
// The network side of the fuzzers that drive a client over the scripted socket.
#include "FakeSocket.h"
#include "FuzzInput.h"

// Until done(): opens each pending connection (opened() then sees what went out at once), lets
// the request go out, then hands over the input's arrivals, a length byte and that many bytes;
// an arrival of length 0 is the peer closing. Once the input is used up every turn closes, at
// most maxIdleCloses times, so a client that never ends is a finding.
template <typename Done, typename Opened>
void PlayNetwork(FuzzInput& in, testsupport::FakeSocket& net, int maxIdleCloses, Done done,
                 Opened opened) {
    int idleCloses = 0;
    while (!done()) {
        if (net.State() == testsupport::FakeSocket::StateConnecting) {
            net.ClearRecord();
            net.Accept(); // a connection to no host fails here instead
            opened();
            net.DrainAll();
        } else if (in.Empty()) {
            FUZZ_CHECK(++idleCloses <= maxIdleCloses);
            net.PeerClose();
        } else if (const std::string arrival = in.Piece(); arrival.empty()) {
            net.PeerClose();
        } else {
            net.Feed(arrival);
        }
    }
}
