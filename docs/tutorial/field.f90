! A field of values as an image with a colour bar and contour lines.
program field
  use lumo
  implicit none
  integer, parameter :: nx = 80, ny = 60
  real :: values(nx, ny), x, y
  integer :: i, j, ir

  do j = 1, ny
    do i = 1, nx
      x = 4.0 * (i - 1) / (nx - 1) - 2
      y = 3.0 * (j - 1) / (ny - 1) - 1.5
      values(i, j) = real(sin(dble(2 * x)) * cos(dble(2 * y)) * exp(dble(-(x * x + y * y) / 4)))
    end do
  end do

  call lmopen(ir, 1)
  call lmaxes(-2.0, 2.0, -1.5, 1.5, LM_AXES_COLOUR_BAR)
  call lmlabels('x (m)', 'y (m)', 'A wave packet')
  call lmimage(values, -1.0, 1.0, LM_MAP_VIRIDIS)
  call lmcolourbar(-1.0, 1.0, LM_MAP_VIRIDIS, 'amplitude')
  call lmsetpen(ir, LM_WHITE, LM_PEN_SOLID, 1, LM_KEEP)  ! white contour lines
  call lmcontour(values, levels=[-0.5, 0.0, 0.5])
  call lmquit(ir)
end program field
