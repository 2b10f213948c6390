#pragma once
// The line settings of a mode string ("COM1,1200,N,8,1" gives 1200, 'N', 8, 1).

namespace tikvor {

struct PortSettings {
    int baud = 0;
    char parity = 'N'; // 'N', 'E' or 'O'
    int dataBits = 8;
    int stopBits = 1;
};

} // namespace tikvor
