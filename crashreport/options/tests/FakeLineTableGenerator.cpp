// Stands in for the line-table generator: writes a recognisable stream
// naming the program it was run on.
#include <fstream>
#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: generator PROGRAM OUTPUT\n";
        return 2;
    }
    std::ifstream program(argv[1], std::ios::binary);
    if (!program)
        return 1;
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << "line table of " << argv[1];
    return out ? 0 : 1;
}
