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

  ir = lmopen(ir, 1)
  call lmaxes(0.0, 10.0, -1.0, 1.2, LM_AXES_GRID)
  call lmlabels('time (s)', 'signal', 'A damped signal')

  ir = lmsetpen(ir, lmrgb(31, 119, 180), 0, 2, -1)   ! blue, solid, 2 pixels
  call lmplotline(t(:n), signal(:n))
  call lmlegend('measured')

  ir = lmsetpen(ir, lmrgb(31, 119, 180), 0, 1, -1)
  call lmerrorbars(t(:n), signal(:n) - error(:n), signal(:n) + error(:n))
  call lmlegend('uncertainty')

  ir = lmsetpen(ir, lmrgb(214, 39, 40), 1, 1, -1)    ! red, dashed
  call lmplotline(t(:n), exp(-t(:n) / 4) * cos(2 * t(:n)))
  call lmlegend('model')

  call lmshowlegend(LM_TOP_RIGHT)
  ir = lmquit(ir)
end program damped
