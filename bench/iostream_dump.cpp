// The plain iostream way to write the dump: each field read on its own with
// istream::read, each line written with operator<< and ended by std::endl.
#include <cstdint>
#include <fstream>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::ifstream in(argv[1], std::ios::binary);
    std::int32_t count = 0;
    if (!in.read(reinterpret_cast<char*>(&count), sizeof count))
        return 1;
    std::cout << std::fixed << count << std::endl;
    for (std::int32_t n = 0; n < count; ++n) {
        double JD;
        std::int32_t obsID, nuse;
        float flux1, err1, sky, errs, chisq1, effective_pix;
        in.read(reinterpret_cast<char*>(&JD), sizeof JD);
        in.read(reinterpret_cast<char*>(&obsID), sizeof obsID);
        in.read(reinterpret_cast<char*>(&flux1), sizeof flux1);
        in.read(reinterpret_cast<char*>(&err1), sizeof err1);
        in.read(reinterpret_cast<char*>(&sky), sizeof sky);
        in.read(reinterpret_cast<char*>(&errs), sizeof errs);
        in.read(reinterpret_cast<char*>(&chisq1), sizeof chisq1);
        in.read(reinterpret_cast<char*>(&nuse), sizeof nuse);
        in.read(reinterpret_cast<char*>(&effective_pix), sizeof effective_pix);
        if (!in)
            return 1;
        std::cout << JD << ' ' << obsID << ' ' << flux1 << ' ' << err1 << ' ' << sky << ' ' << errs << ' ' << chisq1
                  << ' ' << nuse << ' ' << effective_pix << std::endl;
    }
    return 0;
}
