! A damped signal from a data file: a line, its error bars, a model curve
! and a legend.  Usage: damped_f [damped.dat]
program damped
  use lumo
  implicit none
  integer, parameter :: max_points = 1000
  real :: t(max_points), signal(max_points), error(max_points)
  character(len=256) :: name
  integer :: n, ios, unit, ir

  name = 'damped.dat'
  if (command_argument_count() > 0) call get_command_argument(1, name)
  open(newunit=unit, file=name, status='old', action='read', iostat=ios)
  if (ios /= 0) stop 'cannot open the data file'
  read(unit, *)                                  ! the heading line
  n = 0
  do
    read(unit, *, iostat=ios) t(n + 1), signal(n + 1), error(n + 1)
    if (ios /= 0) exit
    n = n + 1
    if (n == max_points) exit
  end do
  close(unit)

  call lmopen(ir, 1)
  call lmaxes(0.0, 10.0, -1.0, 1.2, LM_AXES_GRID)
  call lmlabels('time (s)', 'signal', 'A damped signal')

  call lmsetpen(ir, lmrgb(31, 119, 180), LM_PEN_SOLID, 2, LM_KEEP)   ! blue, solid, 2 pixels
  call lmplotline(t(:n), signal(:n))
  call lmlegend('measured')

  call lmsetpen(ir, lmrgb(31, 119, 180), LM_PEN_SOLID, 1, LM_KEEP)
  call lmerrorbars(t(:n), signal(:n) - error(:n), signal(:n) + error(:n))
  call lmlegend('uncertainty')

  call lmsetpen(ir, lmrgb(214, 39, 40), LM_PEN_DASH, 1, LM_KEEP)    ! red, dashed
  call lmplotline(t(:n), exp(-t(:n) / 4) * cos(2 * t(:n)))
  call lmlegend('model')

  call lmshowlegend(LM_TOP_RIGHT)
  call lmquit(ir)
end program damped
