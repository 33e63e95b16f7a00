// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/RealFft.h"

#include <fftw3.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <stdexcept>

namespace {
// FFTW's planner is not thread-safe; its execution is.
std::mutex PlannerLock;
} // namespace

std::size_t TRealFft::NiceSize(std::size_t least)
{
    for (std::size_t size = std::max<std::size_t>(least, 2);; ++size) {
        std::size_t rest = size;
        for (const std::size_t factor : {2, 3, 5})
            while (rest % factor == 0)
                rest /= factor;
        if (rest == 1)
            return size;
    }
}

TRealFft::TRealFft(std::size_t size) : N(size)
{
    if (N < 2)
        throw std::invalid_argument("TRealFft: size below 2");
    Time = fftw_alloc_real(N);
    Frequency = reinterpret_cast<std::complex<double>*>(fftw_alloc_complex(Bins()));
    if (!Time || !Frequency) {
        fftw_free(Time);
        fftw_free(Frequency);
        throw std::bad_alloc();
    }
    auto* spectrum = reinterpret_cast<fftw_complex*>(Frequency);
    const std::lock_guard lock(PlannerLock);
    // Estimated plans: measuring would cost seconds at the long sizes and gains little here.
    ForwardPlan = fftw_plan_dft_r2c_1d(static_cast<int>(N), Time, spectrum, FFTW_ESTIMATE);
    InversePlan = fftw_plan_dft_c2r_1d(static_cast<int>(N), spectrum, Time, FFTW_ESTIMATE);
}

TRealFft::~TRealFft()
{
    {
        const std::lock_guard lock(PlannerLock);
        fftw_destroy_plan(static_cast<fftw_plan>(ForwardPlan));
        fftw_destroy_plan(static_cast<fftw_plan>(InversePlan));
    }
    fftw_free(Time);
    fftw_free(Frequency);
}

void TRealFft::Forward(std::span<const double> input, std::span<std::complex<double>> output)
{
    const std::size_t used = std::min(input.size(), N);
    std::copy_n(input.begin(), used, Time);
    std::fill(Time + used, Time + N, 0.0);
    fftw_execute(static_cast<fftw_plan>(ForwardPlan));
    std::copy_n(Frequency, std::min(output.size(), Bins()), output.begin());
}

void TRealFft::Inverse(std::span<const std::complex<double>> input, std::span<double> output)
{
    // A complex-to-real transform overwrites its input, so it works on the object's own copy.
    const std::size_t used = std::min(input.size(), Bins());
    std::copy_n(input.begin(), used, Frequency);
    std::fill(Frequency + used, Frequency + Bins(), std::complex<double>());
    fftw_execute(static_cast<fftw_plan>(InversePlan));
    std::copy_n(Time, std::min(output.size(), N), output.begin());
}
